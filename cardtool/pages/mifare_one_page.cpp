#include "pages/mifare_one_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "pages/search_sequence.h"
#include "services/app_context.h"
#include "widgets/continuous_toggle.h"
#include "widgets/operation_window.h"
#include "widgets/plain_box.h"
#include "widgets/purse_group.h"

namespace {

constexpr int kSectors = 64;
const QString kNotConnected = QStringLiteral("Reader isn't connected!");

// Seven-segment codes of the hexadecimal digits 0 to F.
constexpr unsigned char kSegments[16] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70,
                                         0x7F, 0x7B, 0x77, 0x18, 0x4E, 0x3D, 0x4F, 0x47};
constexpr int kDisplayDigits = 8;
constexpr unsigned char kRawSegments = 0;
constexpr unsigned char kDigitValues = 1;
constexpr unsigned char kBalancePoint = 6;

// Sector 0 starts with the manufacturer block, which is never a purse.
QList<int> purseBlocks(int sector) { return sector == 0 ? QList<int>{1, 2} : QList<int>{0, 1, 2}; }

ClassicMessages mifareOneMessages() {
    ClassicMessages m;
    m.keyLength = QStringLiteral("Please input 6 bytes key");
    m.emptyInitial = m.emptyAmount = QStringLiteral("Please input data in data area");
    m.initialized = QStringLiteral("Initialize purse successfullly");
    m.increased = QStringLiteral("Add successfully");
    m.decreased = QStringLiteral("Decrement successfully");
    m.balanceRead = QStringLiteral("Read successfully");
    m.sectorRead = QStringLiteral("Read card successfully");
    m.blockWritten = QStringLiteral("Write card successfully");
    m.confirmTrailer = QStringLiteral("Do you really write third block data?");
    return m;
}

} // namespace

CMifareOneDlg::CMifareOneDlg(AppContext& app, QWidget* parent)
    : CardPage(app, parent), cardNumber_(makeHex("cardNumber")), velmo_(new QCheckBox("Velmo", this)),
      ops_(app, this, mifareOneMessages(),
           {.beepAfterRead = true,
            .findCard = [this] { return requireConnection(kNotConnected) && (cardFound_ || findCard(1)); },
            .cardLost = [this] { cardFound_ = false; },
            .balanceShown = [this](qint32 balance) { showBalanceOnDisplay(balance); }}) {
    velmo_->setObjectName("velmo");
    // The toggle lives as long as its button.
    auto* continuous = makeButton("Continuous Search", "continuousSearch", [] {});
    new ContinuousToggle(
        continuous, "Continuous Search", QStringLiteral("连续寻卡"), [this] { return languageId(); },
        [this] { nextCardSearch(); });

    auto* top = new QHBoxLayout;
    top->addWidget(makeLabel("CSN", cardNumber_));
    top->addWidget(cardNumber_, 1);
    top->addWidget(makeButton("Search Card", "searchCard", [this] { searchCard(); }));
    top->addWidget(makeButton("Get Next Card", "getNextCard", [this] { getNextCard(); }));
    top->addWidget(continuous);
    top->addWidget(velmo_);

    const QString decimal = QStringLiteral("%d");
    purse_ = new PurseGroup(
        {.name = "purse",
         .sectors = kSectors,
         .sectorFormat = decimal,
         .blockFormat = decimal,
         .blocksOf = purseBlocks,
         .keyBytes = 6,
         .decimalLength = 8},
        [this](PurseOp op) { ops_.purse(*purse_, op); }, this);
    auto* grid = new QGridLayout;
    grid->addWidget(purse_, 0, 0, Qt::AlignTop);
    for (int i = 0; i < 3; ++i) {
        auto* window = new OperationWindow(
            {.name = QStringLiteral("window%1").arg(i + 1),
             .sectors = kSectors,
             .sectorFormat = decimal,
             .blockFormat = decimal,
             .keyBytes = 6,
             .trailer = {6, 4, 6}},
            [this, i] { ops_.read(*windows_[i]); }, [this, i] { ops_.write(*windows_[i]); }, this);
        window->guardManufacturerBlock([this] { return connected(); });
        windows_[i] = window;
        grid->addWidget(window, (i + 1) / 2, (i + 1) % 2);
    }

    auto* form = new QVBoxLayout(this);
    form->addLayout(top);
    form->addLayout(grid);
    finishInit();
    purse_->nameParts();
    for (OperationWindow* window : windows_)
        window->nameParts();
}

bool CMifareOneDlg::findCard(int attempts) {
    if (!FindTypeACard(app_, attempts, *cardNumber_, cardFound_)) return false;
    if (velmo_->isChecked()) showSerialOnDisplay();
    return true;
}

void CMifareOneDlg::searchCard() {
    if (findCard(2)) afterSearch();
}

void CMifareOneDlg::getNextCard() {
    // The halt's own result does not matter: the search says whether a card answers.
    if (connected()) api().rf_halt(icdev());
    if (nextCardSearch()) afterSearch();
}

bool CMifareOneDlg::nextCardSearch() {
    if (!connected()) {
        result().ShowError(kNotConnected);
        cardNumber_->clear();
        return false;
    }
    unsigned char answer[256] = {};
    unsigned char length = 0;
    unsigned char uidLength = 0;
    const int code = api().rf_search_type_a(icdev(), 0x26, answer, &length, &uidLength);
    if (code != 0) {
        result().ShowResult(code, "rf_search_type_a");
        cardNumber_->clear();
        return false;
    }
    cardNumber_->showBytes(TypeASerial(answer, length, uidLength));
    cardFound_ = true;
    result().ShowSuccess("Search card successfully");
    return true;
}

void CMifareOneDlg::afterSearch() {
    for (OperationWindow* window : windows_)
        window->refreshWriteEnabled();
    result().ShowResult(0);
}

void CMifareOneDlg::showSerialOnDisplay() {
    unsigned char serial[4] = {};
    cardNumber_->copyBytes(serial, 4);
    unsigned char codes[kDisplayDigits];
    for (int i = 0; i < 4; ++i) {
        codes[2 * i] = kSegments[serial[i] >> 4];
        codes[2 * i + 1] = kSegments[serial[i] & 0x0F];
    }
    if (api().rf_Reader_DigtalDisplay(icdev(), kRawSegments, 0, codes) != 0) displayFailed();
}

void CMifareOneDlg::showBalanceOnDisplay(qint32 balance) {
    if (!velmo_->isChecked()) return;
    const QString text = QString::number(balance);
    // Eight digits and no minus sign: a balance the display cannot show is not sent half shown.
    if (balance < 0 || text.size() > kDisplayDigits) {
        displayFailed();
        return;
    }
    unsigned char digits[kDisplayDigits] = {};
    const int start = kDisplayDigits - static_cast<int>(text.size());
    for (int i = 0; i < text.size(); ++i)
        digits[start + i] = static_cast<unsigned char>(text[i].unicode() - u'0');
    if (api().rf_Reader_DigtalDisplay(icdev(), kDigitValues, kBalancePoint, digits) != 0) displayFailed();
}

void CMifareOneDlg::displayFailed() { PlainBox(app_, this, QStringLiteral("Digtal display fail")); }

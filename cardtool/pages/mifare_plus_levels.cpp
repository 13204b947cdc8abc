#include "pages/mifare_plus_levels.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "services/library_calls.h"
#include "widgets/number_format.h"
#include "widgets/operation_window.h"
#include "widgets/plain_box.h"
#include "widgets/purse_group.h"

namespace {

constexpr int kSectors = 32;
constexpr int kAesKeyBytes = 16;
constexpr int kBlockBytes = 16;
constexpr int kCrypto1KeyBytes = 6;
constexpr int kValueLength = 11;

QString fullKey() { return QString(2 * kAesKeyBytes, u'F'); }

QList<int> everyBlock(int) { return {0, 1, 2, 3}; }

// The level pages list 32 sectors and their four blocks by name.
PurseLayout plusPurse(const AppContext& app, const QString& name, int keyBytes) {
    return {.name = name,
            .sectors = kSectors,
            .sectorFormat = app.Translate("Sector %02d"),
            .blockFormat = app.Translate("Block %d"),
            .blocksOf = everyBlock,
            .keyBytes = keyBytes,
            .decimalLength = kValueLength};
}

WindowLayout plusWindow(const AppContext& app, const QString& name, int keyBytes,
                        std::array<int, 3> trailer) {
    return {.name = name,
            .sectors = kSectors,
            .sectorFormat = app.Translate("Sector %02d"),
            .blockFormat = app.Translate("Block %d"),
            .keyBytes = keyBytes,
            .trailer = trailer};
}

// The reader's status in decimal and as the bits of a C int in hex: "%d<0x%x>".
QString withCode(const char* pattern, int code) { return QString::asprintf(pattern, code, unsigned(code)); }

} // namespace

// ---- what every level page has ----------------------------------------------

MfpLevelPage::MfpLevelPage(AppContext& app, QWidget* parent, MfpCard& card, int level)
    : CardPage(app, parent), card_(card), form_(new QVBoxLayout(this)) {
    // The note is the catalog's text under its key; the form above it is the level's own.
    QString text = app_.Translate(QStringLiteral("mfptips_operate_level%1").arg(level));
    auto* note = new QPlainTextEdit(text.replace(QLatin1String("\r\n"), QLatin1String("\n")), this);
    note->setObjectName(QStringLiteral("level%1Note").arg(level));
    note->setReadOnly(true);
    // Chinese has no spaces to break at.
    note->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    note->setMinimumHeight(60);
    form_->addWidget(makeLabel("Operate note", note));
    form_->addWidget(note, 1);
}

bool MfpLevelPage::requireReader() { return requireConnection(app_.Translate("Reader isn't connected!")); }

unsigned short MfpLevelPage::address(const HexEdit& field) {
    unsigned char bytes[2] = {};
    field.copyBytes(bytes, 2);
    return static_cast<unsigned short>(bytes[0] << 8 | bytes[1]);
}

// ---- level 0: personalisation --------------------------------------------------

CMfpLevel0Dlg::CMfpLevel0Dlg(AppContext& app, QWidget* parent, MfpCard& card)
    : MfpLevelPage(app, parent, card, 0), failed_(new QListWidget(this)) {
    auto* rows = new QGridLayout;
    for (int row = 0; row < 4; ++row) {
        addresses_[row] = makeHex(QStringLiteral("persoAddress%1").arg(row), 2);
        addresses_[row]->setText(QStringLiteral("900%1").arg(row));
        addresses_[row]->setFixedWidth(60);
        data_[row] = makeHex(QStringLiteral("persoData%1").arg(row), kBlockBytes);
        data_[row]->setText(QString(2 * kBlockBytes, u'F'));
        rows->addWidget(makeLabel("Address", addresses_[row]), row, 0);
        rows->addWidget(addresses_[row], row, 1);
        rows->addWidget(makeLabel("Data", data_[row]), row, 2);
        rows->addWidget(data_[row], row, 3);
        rows->addWidget(
            makeButton("Write", QStringLiteral("persoWrite%1").arg(row), [this, row] { writeRow(row); }), row,
            4);
    }
    failed_->setObjectName("errBlockList");
    failed_->setMaximumHeight(110);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeButton("Write default", "writeDefault", [this] { writeDefault(); }));
    buttons->addWidget(makeButton("Switch Level", "level0Switch", [this] { switchLevel(); }));
    buttons->addStretch(1);
    form_->insertLayout(0, rows);
    form_->insertLayout(1, buttons);
    form_->insertWidget(2, failed_);
}

void CMfpLevel0Dlg::writeRow(int row) {
    if (addresses_[row]->byteCount() != 2) {
        PlainBox(app_, this, app_.Translate("Address length must be 2 bytes!"), MessageBoxes::Stop);
        return;
    }
    if (data_[row]->byteCount() != kBlockBytes) {
        PlainBox(app_, this, app_.Translate("Data length must be 16 bytes!"), MessageBoxes::Stop);
        return;
    }
    if (!requireReader()) return;
    unsigned char data[kBlockBytes] = {};
    data_[row]->copyBytes(data, kBlockBytes);
    const int code = api().MFP_L0WritePerso(icdev(), address(*addresses_[row]), data);
    if (code != 0)
        result().ShowResult(code, "MFP_L0WritePerso");
    else
        result().ShowSuccess(app_.Translate("MFP_L0WritePerso success!"));
}

// Every key a card needs before its commit, as delivered: the card keys at
// 0x9000-0x9003 and the AES keys of 32 sectors, all 16 bytes of FF.
void CMfpLevel0Dlg::writeDefault() {
    failed_->clear();
    const QString pattern = QStringLiteral("MFP_L0WritePerso Error! Addr:(0x%x)");
    std::vector<unsigned short> addresses{0x9000, 0x9001, 0x9002, 0x9003};
    for (unsigned short a = 0x4000; a <= 0x403F; ++a)
        addresses.push_back(a);
    bool allWritten = true;
    for (const unsigned short a : addresses) {
        unsigned char data[kBlockBytes];
        std::fill(std::begin(data), std::end(data), 0xFF);
        const int code = api().MFP_L0WritePerso(icdev(), a, data);
        if (code == 0) continue;
        if (code == LibraryCalls::kStopped) return; // the addresses not tried are not failures
        allWritten = false;
        result().ShowResult(code, FormatNumber(a >= 0x9000 ? app_.Translate(pattern) : pattern, a));
        failed_->addItem(FormatNumber(QStringLiteral("0x%x"), a));
    }
    // With a write missing the result line keeps the last failure: the list shows them all.
    if (allWritten) result().ShowSuccess(app_.Translate("MFP_L0WritePerso Success! Write DefaultData."));
}

void CMfpLevel0Dlg::switchLevel() {
    if (PlainBox(app_, this, app_.Translate("Are you sure to switch card?"), MessageBoxes::Question,
                 MessageBoxes::OkCancel) != MessageBoxes::AnswerOk)
        return;
    if (!requireReader()) return;
    const int code = api().MFP_L0CommitPerso(icdev());
    if (code != 0) {
        result().ShowResult(code, "MFP_L0CommitPerso");
        return;
    }
    result().ShowSuccess(app_.Translate("MFP_L0CommitPerso Success!"));
    PlainBox(app_, this, app_.Translate("Ok,Switch operation success!"), MessageBoxes::Information);
}

// ---- level 1: MIFARE Classic -------------------------------------------------------

namespace {

ClassicMessages levelOneMessages() {
    ClassicMessages m;
    m.keyLength = QStringLiteral("length of key must be 6 bytes.");
    m.emptyInitial = QStringLiteral("please input purse initial value.");
    m.emptyAmount = QStringLiteral("please input purse value for increment.");
    m.initialized = QStringLiteral("Success to inital purse.");
    m.increased = QStringLiteral("Success to increase purse value.");
    m.decreased = QStringLiteral("Success to decrease purse value.");
    m.balanceRead = QStringLiteral("Success to read purse value.");
    m.sectorRead = QStringLiteral("Success to read card sector.");
    m.blockWritten = QStringLiteral("Success to write card block.");
    m.confirmTrailer = QStringLiteral("Are you sure to write control block?");
    return m;
}

} // namespace

CMfpLevel1Dlg::CMfpLevel1Dlg(AppContext& app, QWidget* parent, MfpCard& card)
    : MfpLevelPage(app, parent, card, 1), ops_(app, this, levelOneMessages(),
                                               {.keyBeforeCard = true,
                                                .findCard = [this] { return card_.ensureCard(false); },
                                                .cardLost = [this] { card_.cardLost(); }}),
      purse_(new PurseGroup(
          plusPurse(app, "level1Purse", kCrypto1KeyBytes), [this](PurseOp op) { ops_.purse(*purse_, op); },
          this)),
      window_(new OperationWindow(
          plusWindow(app, "level1Window", kCrypto1KeyBytes, {6, 4, 6}), [this] { ops_.read(*window_); },
          [this] { ops_.write(*window_); }, this)),
      level_(makeList("switchLevelTo")), switchKey_(makeHex("level1SwitchKey", kAesKeyBytes)) {

    level_->addItem("Level2");
    level_->addItem("Level3");
    switchKey_->setText(fullKey());
    auto* switchGroup = new QGroupBox("Switch Card Level", this);
    auto* row = new QHBoxLayout(switchGroup);
    row->addWidget(makeLabel("Level", level_));
    row->addWidget(level_);
    row->addWidget(makeLabel("Switch Key", switchKey_));
    row->addWidget(switchKey_, 1);
    row->addWidget(makeButton("Switch Level", "level1Switch", [this] { switchLevel(); }));

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(purse_);
    left->addWidget(switchGroup);
    columns->addLayout(left);
    columns->addWidget(window_);
    form_->insertLayout(0, columns);
}

void CMfpLevel1Dlg::nameParts() {
    purse_->nameParts();
    window_->nameParts();
}

void CMfpLevel1Dlg::switchLevel() {
    if (switchKey_->byteCount() != kAesKeyBytes) {
        PlainBox(app_, this, "length of key must be 16 byte.");
        return;
    }
    if (level_->currentIndex() < 0) {
        PlainBox(app_, this, "Please select switch level.");
        return;
    }
    if (!boxes().confirm(this, "Are you sure to switch card?", "Warning", MessageBoxes::Exclamation)) return;
    if (!requireReader()) return;
    unsigned char key[kAesKeyBytes] = {};
    switchKey_->copyBytes(key, kAesKeyBytes);
    const int code =
        api().MFP_SwitchToHighLevel(icdev(), static_cast<unsigned char>(level_->currentIndex() + 2), key);
    if (code != 0)
        result().ShowResult(code, "MFP_SwitchToHighLevel");
    else
        result().ShowSuccess("MFP_SwitchToHighLevel Success!");
}

// ---- level 2 ----------------------------------------------------------------------

CMfpLevel2Dlg::CMfpLevel2Dlg(AppContext& app, QWidget* parent, MfpCard& card)
    : MfpLevelPage(app, parent, card, 2), switchKey_(makeHex("level2SwitchKey", kAesKeyBytes)) {
    // Level 3 is the only way up from here: the switch sends it whatever the list shows.
    QComboBox* level = makeList("level2SwitchTo");
    level->addItem("Level3");
    switchKey_->setText(fullKey());
    auto* row = new QHBoxLayout;
    row->addWidget(makeLabel("Level", level));
    row->addWidget(level);
    row->addWidget(makeLabel("Switch Key", switchKey_));
    row->addWidget(switchKey_, 1);
    row->addWidget(makeButton("Switch Level", "level2Switch", [this] { switchLevel(); }));
    form_->insertLayout(0, row);
}

void CMfpLevel2Dlg::switchLevel() {
    if (switchKey_->byteCount() != kAesKeyBytes) {
        PlainBox(app_, this, "switch key length must be 16 byte.");
        return;
    }
    // Asked in Chinese whatever the language.
    if (PlainBox(app_, this, QStringLiteral("真的要升级卡片吗?"), MessageBoxes::Question,
                 MessageBoxes::OkCancel) != MessageBoxes::AnswerOk)
        return;
    if (!requireReader()) return;
    unsigned char key[kAesKeyBytes] = {};
    switchKey_->copyBytes(key, kAesKeyBytes);
    const int code = api().MFP_SwitchToHighLevel(icdev(), 3, key);
    if (code != 0)
        result().ShowError(QString::asprintf("MFP_SwitchToHighLevel Error! ret=(0x%x)", unsigned(code)));
    else
        result().ShowSuccess("MFP_SwitchToHighLevel Success!");
}

// ---- level 3: AES ------------------------------------------------------------------

CMfpLevel3Dlg::CMfpLevel3Dlg(AppContext& app, QWidget* parent, MfpCard& card)
    : MfpLevelPage(app, parent, card, 3),
      purse_(new PurseGroup(
          plusPurse(app, "level3Purse", kAesKeyBytes), [this](PurseOp op) { purse(op); }, this)),
      window_(new OperationWindow(
          plusWindow(app, "level3Window", kAesKeyBytes, {5, 5, 6}), [this] { read(); }, [this] { write(); },
          this)) {

    auto* common = new QGroupBox("Common instruct", this);
    auto* grid = new QGridLayout(common);
    const struct {
        const char* caption;
        const char* name;
        const char* addressCaption;
        const char* dataCaption;
        bool keyDefault;
        Command command;
    } kRows[] = {{"First Auth", "firstAuth", "Key Addr", "Key", true, Command::FirstAuth},
                 {"Following Auth", "followingAuth", "Key Addr", "Key", true, Command::FollowingAuth},
                 {"Common Write", "commonWrite", "Data Addr", "Data", false, Command::CommonWrite},
                 {"Common Read", "commonRead", "Data Addr", "Data", false, Command::CommonRead}};
    for (int i = 0; i < 4; ++i) {
        const auto& r = kRows[i];
        const QString name = QString::fromLatin1(r.name);
        Row& row = rows_[i];
        row.address = makeHex(name + "Address", 2);
        row.address->setFixedWidth(60);
        row.data = makeHex(name + "Data", kBlockBytes);
        if (r.keyDefault) row.data->setText(fullKey());
        row.execute = makeButton("Execute", name + "Execute", [this, c = r.command] { execute(c); });
        row.caption = new QLabel(r.caption, common);
        row.caption->setObjectName(name + "Caption");
        grid->addWidget(row.caption, i, 0);
        grid->addWidget(makeLabel(r.addressCaption, row.address), i, 1);
        grid->addWidget(row.address, i, 2);
        grid->addWidget(makeLabel(r.dataCaption, row.data), i, 3);
        grid->addWidget(row.data, i, 4);
        grid->addWidget(row.execute, i, 5);
    }

    auto* columns = new QHBoxLayout;
    columns->addWidget(purse_, 0, Qt::AlignTop);
    columns->addWidget(window_);
    form_->insertLayout(0, columns);
    form_->insertWidget(1, common);
}

void CMfpLevel3Dlg::nameParts() {
    purse_->nameParts();
    window_->nameParts();
    // Four buttons say "Execute": each is named after its row as well.
    for (const Row& row : rows_)
        row.execute->setAccessibleName(row.caption->text() + QStringLiteral(": ") + row.execute->text());
}

bool CMfpLevel3Dlg::succeeded(int code, const QString& text) {
    if (code == 0) return true;
    card_.cardLost();
    result().ShowResult(code, text);
    return false;
}

bool CMfpLevel3Dlg::authenticate(bool keyA, int block, const HexEdit& key, const QString& failure) {
    unsigned char keyBytes[kAesKeyBytes] = {};
    key.copyBytes(keyBytes, kAesKeyBytes);
    return succeeded(
        api().MFP_DataBlockAuthentication(icdev(), keyA ? 0 : 1, static_cast<unsigned char>(block), keyBytes),
        failure);
}

void CMfpLevel3Dlg::purse(PurseOp op) {
    if (op == PurseOp::Balance) purse_->clearValue();
    if (purse_->key().byteCount() != kAesKeyBytes) {
        PlainBox(app_, this,
                 op == PurseOp::Initialize ? QStringLiteral("KeyData length must be 16!")
                 : op == PurseOp::Decrease ? app_.Translate("KeyData must be 16")
                                           : QStringLiteral("KeyData must be 16"));
        return;
    }
    // An empty amount would go to the card as -1: ask for one instead.
    if (op != PurseOp::Balance && purse_->decimal().text().isEmpty()) {
        boxes().warning(this, op == PurseOp::Initialize
                                  ? QStringLiteral("please input purse initial value.")
                                  : QStringLiteral("please input purse value for increment."));
        return;
    }
    if (!card_.ensureCard(true)) return;
    const auto block = static_cast<unsigned char>(purse_->address());
    if (!authenticate(purse_->keyA(), block, purse_->key(), "MFP_DataBlockAuthentication")) return;
    const int amount = purse_->decimal().value();
    switch (op) {
    case PurseOp::Initialize:
        if (succeeded(api().MFP_L3PurseInitial(icdev(), block, amount), "MFP_L3PurseInitial"))
            result().ShowSuccess("MFP_L3PurseInital Success!");
        break;
    case PurseOp::Increase:
        if (succeeded(api().MFP_L3PurseIncrement(icdev(), block, amount), "MFP_L3PurseIncrement"))
            result().ShowSuccess("MFP_L3PurseIncrement Success!");
        break;
    case PurseOp::Decrease:
        if (succeeded(api().MFP_L3PurseDecrement(icdev(), block, amount), "MFP_L3PurseDecrement"))
            result().ShowSuccess("MFP_L3PurseDecrement Success!");
        break;
    case PurseOp::Balance: {
        unsigned char value[4] = {};
        if (!succeeded(api().MFP_L3PurseRead(icdev(), block, value), "MFP_L3PurseRead")) return;
        purse_->showValue(PurseValue(value));
        result().ShowSuccess("MFP_L3PurseRead Success!");
        break;
    }
    }
}

void CMfpLevel3Dlg::read() {
    window_->clearData();
    if (window_->key().byteCount() != kAesKeyBytes) {
        PlainBox(app_, this, "Key data length must be 16!");
        return;
    }
    if (!card_.ensureCard(true)) return;
    const int sector = window_->sector();
    if (!authenticate(window_->keyA(), 4 * sector, window_->key(), "MFP_DataBlockAuthentication")) return;
    for (int i = 0; i < OperationWindow::kBlocks; ++i) {
        unsigned char data[kBlockBytes] = {};
        const int code =
            api().MFP_L3ReadDataBlock(icdev(), static_cast<unsigned char>(4 * sector + i), 1, data);
        if (!succeeded(code, QString::asprintf("MFP_L3ReadDataBlock.s=(%d) b=(%d)", sector, i))) return;
        window_->showBlock(i, data);
    }
    result().ShowSuccess("MFP_L3ReadDataBlock Success!");
}

void CMfpLevel3Dlg::write() {
    if (window_->key().byteCount() != kAesKeyBytes) {
        PlainBox(app_, this, app_.Translate("Key data length must be 16!"));
        return;
    }
    const int sector = window_->sector();
    const int block = window_->writeBlock();
    // The trailer holds the sector's access conditions: a wrong one locks the sector for good.
    if (block == 3 &&
        !boxes().confirm(this, "Are you sure to write control block?", "Warning", MessageBoxes::Exclamation))
        return;
    unsigned char data[kBlockBytes];
    window_->blockData(block, data);
    if (!card_.ensureCard(true)) return;
    const int address = 4 * sector + block;
    const QString where = QString::asprintf(".s=(%d) b=(%d)", sector, block);
    if (!authenticate(window_->keyA(), address, window_->key(), "MFP_DataBlockAuthentication" + where))
        return;
    const int code = api().MFP_L3WriteDataBlock(icdev(), static_cast<unsigned char>(address), 1, data);
    if (succeeded(code, "MFP_L3WriteDataBlock" + where))
        result().ShowSuccess("MFP_L3WriteDataBlock Success!");
}

// The raw commands go straight to the card: no search, and the library
// reports a missing reader itself.
void CMfpLevel3Dlg::execute(Command command) {
    const Row& row = rows_[static_cast<int>(command)];
    if (row.address->byteCount() != 2) {
        PlainBox(app_, this, QStringLiteral("地址长度必须为2字节!"), MessageBoxes::Stop);
        return;
    }
    const unsigned short at = address(*row.address);
    unsigned char data[kBlockBytes] = {};
    switch (command) {
    case Command::FirstAuth:
    case Command::FollowingAuth: {
        if (row.data->byteCount() != kAesKeyBytes) {
            PlainBox(app_, this, QStringLiteral("KEY数据长度必须为16字节!"));
            return;
        }
        row.data->copyBytes(data, kAesKeyBytes);
        const bool first = command == Command::FirstAuth;
        const int code = first ? api().MFP_FirstAuthentication(icdev(), at, data)
                               : api().MFP_FollowingAuthentication(icdev(), at, data);
        if (code != 0)
            result().ShowError(withCode(first ? "MFP_FirstAuthentication Error!(ret=%d<0x%x>)"
                                              : "MFP_FollowingAuthentication Error!(ret=%d<0x%x>)",
                                        code));
        else
            result().ShowSuccess(first ? "MFP_FirstAuthentication success!"
                                       : "MFP_FollowingAuthentication success!");
        return;
    }
    case Command::CommonWrite:
    case Command::CommonRead:
        break;
    }
    const bool writing = command == Command::CommonWrite;
    if (writing && row.data->byteCount() != kBlockBytes) {
        PlainBox(app_, this, QStringLiteral("写入数据长度必须为16字节!"));
        return;
    }
    // The reader takes a one-byte block here: a higher address would reach another block.
    if (at > 0xFF) {
        PlainBox(app_, this, app_.Translate("Data address must be 0000 to 00FF!"), MessageBoxes::Stop);
        return;
    }
    const auto block = static_cast<unsigned char>(at);
    if (writing) {
        row.data->copyBytes(data, kBlockBytes);
        const int code = api().MFP_L3CommonWrite(icdev(), block, 1, data);
        if (code != 0)
            result().ShowError(withCode("MFP_L3CommonWrite Error!(ret=%d<0x%x>)", code));
        else
            result().ShowSuccess("MFP_L3CommonWrite success!");
        return;
    }
    row.data->clear();
    const int code = api().MFP_L3CommonRead(icdev(), block, 1, data);
    if (code != 0) {
        result().ShowResult(code, "MFP_L3CommonRead");
        return;
    }
    row.data->showBytes(data, kBlockBytes);
    result().ShowSuccess("MFP_L3CommonRead success!");
}

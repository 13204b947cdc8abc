#include "pages/mifare_plus_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "pages/search_sequence.h"
#include "services/app_context.h"

CMifarePlusDlg::CMifarePlusDlg(AppContext& app, QWidget* parent)
    : CardPage(app, parent), cardNumber_(makeHex("cardNumber")), resetInfo_(makeHex("resetInfo")),
      levels_(new QTabWidget(this)) {
    auto* header = new QGridLayout;
    header->addWidget(makeButton("Search Card", "searchCard", [this] { searchCard(); }), 0, 0);
    header->addWidget(makeLabel("CSN", cardNumber_), 0, 1);
    header->addWidget(cardNumber_, 0, 2);
    header->addWidget(makeButton("Reset Card", "resetCard", [this] { resetCard(); }), 1, 0);
    header->addWidget(makeLabel("Reset Info", resetInfo_), 1, 1);
    header->addWidget(resetInfo_, 1, 2);

    levels_->setObjectName("levelTabs");
    // Tab captions are translated with the rest of the page's captions.
    const std::array<MfpLevelPage*, 4> pages{
        new CMfpLevel0Dlg(app, levels_, *this), new CMfpLevel1Dlg(app, levels_, *this),
        new CMfpLevel2Dlg(app, levels_, *this), new CMfpLevel3Dlg(app, levels_, *this)};
    for (int level = 0; level < 4; ++level)
        levels_->addTab(pages[level], QStringLiteral("Level%1").arg(level));
    levels_->setCurrentIndex(0);

    auto* form = new QVBoxLayout(this);
    form->addLayout(header);
    form->addWidget(levels_, 1);
    finishInit();
    for (MfpLevelPage* page : pages)
        page->nameParts();
}

bool CMifarePlusDlg::searchCard() {
    cardFound_ = false;
    cardNumber_->clear();
    resetInfo_->clear();
    if (!requireConnection(app_.Translate("Reader isn't connected!"))) return false;
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    unsigned char answer[256] = {};
    unsigned char length = 0;
    unsigned char uidLength = 0;
    const bool found = RunSearch(result(), 1,
                                 {{"rf_antenna_sta", 0, [&] { return a.rf_antenna_sta(dev, 0); }},
                                  {"rf_init_type", 20, [&] { return a.rf_init_type(dev, 'A'); }},
                                  {"rf_antenna_sta", 20, [&] { return a.rf_antenna_sta(dev, 1); }},
                                  {"rf_search_type_a", 50, [&] {
                                       return a.rf_search_type_a(dev, 0x52, answer, &length, &uidLength);
                                   }}});
    if (!found) return false;
    cardNumber_->showBytes(TypeASerial(answer, length, uidLength));
    result().ShowSuccess(app_.Translate("rf_search_type_a"));
    cardFound_ = true;
    return true;
}

bool CMifarePlusDlg::resetCard() {
    unsigned char ats[256] = {};
    unsigned char length = 0;
    const int code = api().rf_iso14443_4_type_a_reset(icdev(), ats, &length);
    if (code != 0) {
        result().ShowResult(code, "rf_iso14443_4_type_a_reset");
        return false;
    }
    resetInfo_->showBytes(ats, length);
    result().ShowSuccess(app_.Translate("rf_iso14443_4_type_a_reset"));
    return true;
}

bool CMifarePlusDlg::ensureCard(bool withReset) {
    if (!requireConnection(app_.Translate("Reader isn't connected!"))) return false;
    if (cardFound_) return true;
    if (!searchCard()) return false;
    // A card that will not activate takes no AES command: stop here, and search again next time.
    if (withReset && !resetCard()) {
        cardFound_ = false;
        return false;
    }
    return true;
}

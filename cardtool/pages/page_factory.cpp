#include "pages/page_factory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/app.h"
#include "pages/at88rf020_page.h"
#include "pages/card_page.h"
#include "pages/iso14443_4_page.h"
#include "pages/iso15693_page.h"
#include "pages/memory_pages.h"
#include "pages/mifare_one_page.h"
#include "pages/mifare_plus_page.h"
#include "pages/sam_page.h"
#include "pages/st_pages.h"

namespace {

// A card type whose page is still to come: the page names its card type.
class PendingPage : public CardPage {
  public:
    PendingPage(int cardType, CTavistoApp& app, QWidget* parent) : CardPage(app, parent) {
        auto* layout = new QVBoxLayout(this);
        auto* name = new QLabel(this);
        name->setObjectName("cardTypeName");
        QFont font = name->font();
        font.setPointSize(font.pointSize() * 2);
        name->setFont(font);
        layout->addWidget(name, 0, Qt::AlignCenter);
        finishInit();
        // A card family's name is the same in every language.
        name->setText(CTavistoApp::CardTypeName(cardType).trimmed());
    }
};

} // namespace

QWidget* CreatePage(int cardType, CTavistoApp& app, QWidget* parent) {
    switch (cardType) {
    case 0:
        return new CUltraLightDlg(app, parent);
    case 1:
        return new CMifareOneDlg(app, parent);
    case 2:
        return new CAt88rf020Dlg(app, parent);
    case 3:
        return new CSr176Dlg(app, parent);
    case 4:
        return new CSrix4kDlg(app, parent);
    case 5:
        return new CIso14443_4Dlg(app, parent);
    case 6:
        return new CIso15693Dlg(app, parent);
    case 7:
        return new CSamDlg(app, parent);
    case 8:
        return new CMifarePlusDlg(app, parent);
    case 9:
        return new CIcode1Dlg(app, parent);
    default:
        return new PendingPage(cardType, app, parent);
    }
}

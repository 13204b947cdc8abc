#include "pages/page_factory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "pages/card_page.h"
#include "pages/memory_pages.h"
#include "shell/app.h"

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
    case 9:
        return new CIcode1Dlg(app, parent);
    default:
        return new PendingPage(cardType, app, parent);
    }
}

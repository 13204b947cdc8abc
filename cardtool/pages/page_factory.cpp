#include "pages/page_factory.h"

#include "pages/at88rf020_page.h"
#include "pages/card_page.h"
#include "pages/iso14443_4_page.h"
#include "pages/iso15693_page.h"
#include "pages/memory_pages.h"
#include "pages/mifare_one_page.h"
#include "pages/mifare_plus_page.h"
#include "pages/sam_page.h"
#include "pages/st_pages.h"
#include "services/app_context.h"

QWidget* CreatePage(int cardType, AppContext& app, QWidget* parent) {
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
        return nullptr;
    }
}

// CTavistoApp: the card tool's application object. It fills in what lives for
// the whole run (the settings, the catalog, the loaded library, the connection
// in use and the known ports), owns the main window, and runs start-up and
// exit in their fixed order.
#pragma once

#include <QString>
#include <memory>

#include "services/app_context.h"

class CMainFrame;
class MessageBoxes;
class QTranslator;

class CTavistoApp : public AppContext {
  public:
    // appDir: the folder of the executable, where the library, "AppConfig.ini"
    // and Lang/ live. Message boxes go through boxes.
    CTavistoApp(const QString& appDir, MessageBoxes& boxes);
    ~CTavistoApp() override;

    // Settings, catalog, library, main window; false ends the program. The
    // caller runs ExitInstance in either case.
    bool InitInstance();
    int ExitInstance();

    CMainFrame* mainFrame() const { return frame_.get(); }

  private:
    void loadQtTranslation();
    // Results go nowhere from here on; then the main window goes.
    void closeFrame();

    std::unique_ptr<QTranslator> qtTranslator_;
    std::unique_ptr<CMainFrame> frame_;
};

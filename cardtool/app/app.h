// CTavistoApp: the card tool's application object. It owns what lives for the
// whole run (the settings, the catalog, the loaded library, the connection in
// use and the known ports) and runs start-up and exit in their fixed order.
#pragma once

#include <QString>
#include <array>
#include <memory>

#include "app/result_line.h"
#include "services/catalog.h"
#include "services/connection_info.h"
#include "services/reader_api.h"

class CMainFrame;
class MessageBoxes;
class QTranslator;

inline constexpr int kCardTypes = 10;

class CTavistoApp {
  public:
    // appDir: the folder of the executable, where the library, "AppConfig.ini"
    // and Lang/ live. Message boxes go through boxes.
    CTavistoApp(const QString& appDir, MessageBoxes& boxes);
    ~CTavistoApp();
    CTavistoApp(const CTavistoApp&) = delete;
    CTavistoApp& operator=(const CTavistoApp&) = delete;

    // The one application object of the process (the last one made).
    static CTavistoApp& instance();

    // Settings, catalog, library, main window; false ends the program. The
    // caller runs ExitInstance in either case.
    bool InitInstance();
    int ExitInstance();

    void LoadSettings();
    void SaveSettings();
    // "English" or the Chinese name as the settings window lists them; saves every setting.
    void SetLanguage(const QString& languageName);
    QString LanguageId() const { return LangID; }
    QString GetAppInfo(int index) const;
    // A line of the About box: the program's own text where "AppConfig.ini" leaves it blank.
    QString AboutLine(int index) const;
    QString Translate(const QString& text) const { return catalog.translate(text); }

    static QString CardTypeName(int cardType);

    const ReaderApi& api() const { return library.api(); }
    MessageBoxes& boxes() { return boxes_; }
    CMainFrame* mainFrame() const { return frame_.get(); }
    // Where results go: the main window's result line, or nowhere while the
    // window is being built or torn down.
    ResultSink& results() const;

    QString AppDir;
    QString LangID = QStringLiteral("en_US");
    Catalog catalog;
    LibraryBinding library;
    int CurCard = 1;
    ConnectionInfo CurrentConnection{1, 2};
    PortList Ports;

  private:
    void loadQtTranslation();

    MessageBoxes& boxes_;
    std::unique_ptr<QTranslator> qtTranslator_;
    std::unique_ptr<CMainFrame> frame_;
};

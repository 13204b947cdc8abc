// AppContext: what every window of the card tool shares for the whole run:
// the folder it runs from, the language and its catalog, the loaded library,
// the card type shown, the connection in use and the known ports, message
// boxes, and where results are shown. The application fills it in and
// installs the two ways back to the main window: its result line and what
// follows a change of connection.
#pragma once

#include <QString>
#include <functional>

#include "services/catalog.h"
#include "services/connection_info.h"
#include "services/reader_api.h"
#include "services/result_sink.h"

class MessageBoxes;

// The card types the tool has a page for, numbered from 0.
inline constexpr int kCardTypes = 10;

class AppContext {
  public:
    // appDir: the folder of the executable, where the library, "AppConfig.ini"
    // and Lang/ live. Message boxes go through boxes.
    AppContext(const QString& appDir, MessageBoxes& boxes) : AppDir(appDir), boxes_(boxes) {}
    virtual ~AppContext() = default;
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Where results go: the main window's result line, or nowhere while the
    // window is being built or torn down.
    ResultSink& results() const;
    // The connection in use changed behind the main window's back: its title
    // and its Connect and Disconnect commands follow.
    void ConnectionChanged();

    // The language, the card type and the connection, from and to the settings store.
    void LoadSettings();
    void SaveSettings();
    // "English" or the Chinese name as the settings window lists them; saves every setting.
    void SetLanguage(const QString& languageName);
    // The program's texts from "AppConfig.ini" (2: its name).
    QString GetAppInfo(int index) const;
    // A line of the About box: the program's own text where "AppConfig.ini" leaves it blank.
    QString AboutLine(int index) const;
    // The card type's name in the Card menu and the title ("Ultra Light", ...); empty for no type.
    static QString CardTypeName(int cardType);

    QString LanguageId() const { return LangID; }
    QString Translate(const QString& text) const { return catalog.translate(text); }
    const ReaderApi& api() const { return library.api(); }
    MessageBoxes& boxes() { return boxes_; }

    QString AppDir;
    QString LangID = QStringLiteral("en_US");
    Catalog catalog;
    LibraryBinding library;
    int CurCard = 1;
    ConnectionInfo CurrentConnection{1, 2};
    PortList Ports;

  protected:
    MessageBoxes& boxes_;
    // Installed by the application: the main window's result line while it is
    // there (nullptr: results are dropped), and what follows a connection change.
    ResultSink* resultLine_ = nullptr;
    std::function<void()> connectionChanged_;
};

#include "services/app_context.h"

#include <QFileInfo>
#include <array>

#include "services/ini_file.h"
#include "services/settings_store.h"

namespace {

constexpr std::array<const char*, kCardTypes> kCardTypeNames{
    "Ultra Light", "MifareOne", "AT88RF020", "SR176",      "ST_SRI",
    "ISO14443-4 ", "ISO15693",  "SAM",       "MifarePlus", "ICODE1"};

// Product texts used when "AppConfig.ini" is missing.
constexpr std::array<const char*, 8> kAppInfoKeys{"Company",      "Version",  "SoftwareName", "AboutTitle",
                                                  "AboutVersion", "AboutLTD", "HTTP",         "COPYRIGHT"};
constexpr std::array<const char*, 8> kAppInfoDefaults{"The Varrok project",
                                                      "Oskelle V4.5.4.0",
                                                      "Oskelle",
                                                      "About Oskelle",
                                                      "Card tool for Varrok desktop contactless readers",
                                                      "The Varrok project",
                                                      "https://varrok.example",
                                                      "Copyright (C) 2026 The Varrok project"};

const char* const kChineseName = "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87"; // 简体中文

// Pages made while the main window is built, or still there as it goes, have
// nowhere to show a result: it is dropped.
class Nowhere : public ResultSink {
    void ShowResult(int, const QString&) override {}
    void ShowError(const QString&) override {}
    void ShowSuccess(const QString&) override {}
};

} // namespace

ResultSink& AppContext::results() const {
    static Nowhere nowhere;
    return resultLine_ != nullptr ? *resultLine_ : nowhere;
}

void AppContext::ConnectionChanged() {
    if (connectionChanged_) connectionChanged_();
}

void AppContext::LoadSettings() {
    LangID = QStringLiteral("en_US");
    const SettingsStore store;
    if (!store.exists()) {
        CurCard = 1;
        return;
    }
    LangID = store.readText("LangID").value_or(QStringLiteral("en_US"));
    const quint32 card = store.readNumber("CurCard").value_or(1);
    const QString ipAddr = store.readText("IpAddr").value_or(QStringLiteral("192.168.10.10"));
    const int tcpPort = static_cast<int>(store.readNumber("tcpPort").value_or(10002));
    int comPort = static_cast<int>(store.readNumber("ComPort").value_or(1));
    int baudIndex = static_cast<int>(store.readNumber("BaudRate").value_or(2));
    const QString friendName = store.readText("FriendName").value_or(QStringLiteral("nofriendName"));
    // Read for completeness; the port number alone decides serial or TCP.
    (void)store.readText("Type");

    // Values the tool never writes itself (a hand-edited store) must not index
    // the tables out of bounds: fall back to the first-start values.
    CurCard = card < kCardTypes ? static_cast<int>(card) : 1;
    if (comPort < 1 || comPort > kTcpPort) comPort = 1;
    if (comPort != kTcpPort && (baudIndex < 0 || baudIndex >= static_cast<int>(kBaudTable.size())))
        baudIndex = 2;
    CurrentConnection = ConnectionInfo(comPort, baudIndex, friendName);
    CurrentConnection.ipAddr = ipAddr;
    CurrentConnection.tcpPort = tcpPort;
}

void AppContext::SaveSettings() {
    SettingsStore store;
    store.writeNumber("CurCard", static_cast<quint32>(CurCard));
    store.writeText("IpAddr", CurrentConnection.ipAddr);
    store.writeNumber("tcpPort", static_cast<quint32>(CurrentConnection.tcpPort));
    store.writeNumber("ComPort", static_cast<quint32>(CurrentConnection.port));
    store.writeNumber("BaudRate", static_cast<quint32>(CurrentConnection.baudIndex));
    store.writeText("Type", CurrentConnection.type);
    store.writeText("FriendName", CurrentConnection.friendlyName);
    store.writeText("LangID", LangID);
    store.flush();
}

void AppContext::SetLanguage(const QString& languageName) {
    if (languageName == QLatin1String("English"))
        LangID = QStringLiteral("en_US");
    else if (languageName == QString::fromUtf8(kChineseName))
        LangID = QStringLiteral("zh_CN");
    SaveSettings();
}

QString AppContext::GetAppInfo(int index) const {
    if (index < 0 || index >= static_cast<int>(kAppInfoKeys.size())) return QString();
    const QString path = AppDir + QStringLiteral("/AppConfig.ini");
    if (!QFileInfo::exists(path)) return QString::fromUtf8(kAppInfoDefaults[index]);
    return IniFile(path).readString("AppInfo", kAppInfoKeys[index], QString(), 260);
}

QString AppContext::AboutLine(int index) const {
    const QString line = GetAppInfo(index);
    if (!line.isEmpty() || index < 0 || index >= static_cast<int>(kAppInfoDefaults.size())) return line;
    return QString::fromUtf8(kAppInfoDefaults[index]);
}

QString AppContext::CardTypeName(int cardType) {
    return cardType >= 0 && cardType < kCardTypes ? QString::fromLatin1(kCardTypeNames[cardType]) : QString();
}

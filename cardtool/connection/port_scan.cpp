#include "connection/port_scan.h"

#include "services/ini_file.h"

#include <QFileInfo>
#include <QSettings>

namespace {
constexpr int kSectionNamesBuffer = 4096;
constexpr int kAddressBuffer = 16; // 15 characters of a dotted address and a NUL
constexpr int kFallbackPorts = 8;

// The "ipaddr.ini" that lists the TCP readers. An installed tool's folder is
// not the user's to write, so a user keeps their own beside the tool's
// settings store (~/.config/Keldrin/ipaddr.ini); without one, the file beside
// the tool counts, as in a build folder.
QString ReaderListFile(const QString& appDir) {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Keldrin", "Sendrik");
    const QString users = QFileInfo(store.fileName()).absolutePath() + QStringLiteral("/ipaddr.ini");
    return QFileInfo::exists(users) ? users : appDir + QStringLiteral("/ipaddr.ini");
}
} // namespace

int TcpEntryNumber(const QString& sectionName) {
    const QString digits = sectionName.mid(3, 3);
    qsizetype i = 0;
    while (i < digits.size() && digits[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == QLatin1Char('-') || digits[i] == QLatin1Char('+')))
        negative = digits[i++] == QLatin1Char('-');
    int number = 0;
    for (; i < digits.size() && digits[i].isDigit() && digits[i].unicode() < 128; ++i)
        number = number * 10 + (digits[i].unicode() - '0');
    return negative ? 0 : std::min(number, 999);
}

void RefreshPortList(PortList& ports, ConnectionInfo& current, const QString& appDir,
                     const SerialEnumerator& enumerate) {
    // An open reader must stay where it can be disconnected and closed at
    // exit, even when its device vanished or its section went away.
    QList<ConnectionInfo> open;
    for (const QString& name : ports.Order())
        if (const ConnectionInfo entry = ports.Get(name); entry.IsConnected()) open.append(entry);
    ports.Clear();
    QList<unsigned> numbers;
    QStringList names;
    if (enumerate(numbers, names)) {
        for (qsizetype i = 0; i < numbers.size() && i < names.size(); ++i) {
            const int number = static_cast<int>(numbers[i]);
            if (number == current.port) {
                current.friendlyName = names[i];
                ports.Add(current);
            } else {
                ports.Add(ConnectionInfo(number, 2, names[i]));
            }
        }
    } else {
        for (int number = 1; number <= kFallbackPorts; ++number) {
            const QString name = QStringLiteral("COM%1").arg(number);
            ports.Add(name == current.portName ? current : ConnectionInfo(number, 2, name));
        }
    }

    const IniFile readers(ReaderListFile(appDir));
    for (const QString& section : readers.sectionNames(kSectionNamesBuffer)) {
        if (section.isEmpty()) break;
        const int tcpPort = readers.readInt(section, "tcpport", 9001);
        const QString address = readers.readString(section, "ipaddr", "192.168.80.200", kAddressBuffer);
        ConnectionInfo entry(kTcpPort, TcpEntryNumber(section),
                             QStringLiteral("<%1:%2>").arg(address, QString::number(tcpPort)));
        entry.tcpPort = tcpPort;
        entry.ipAddr = address;
        if (entry.portName == current.portName) entry = current;
        ports.Add(entry);
    }

    for (const ConnectionInfo& entry : open) {
        if (!ports.Contains(entry.portName)) {
            ports.Add(entry);
        } else if (!ports.Get(entry.portName).IsConnected()) {
            ports.Set(entry.portName, entry);
        }
    }
}

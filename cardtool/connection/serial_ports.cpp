#include "connection/serial_ports.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "link/com_ports.h"

namespace {
// The highest port number the tool can connect (a serial port is 1 to 255).
constexpr int kHighestPort = 255;

bool overridden(int number) {
    return !qEnvironmentVariable(qPrintable(QStringLiteral("VARROK_COM%1").arg(number))).isEmpty();
}

// The driver's description is free text that many devices share: the device
// path tells them apart.
QString description(const QSerialPortInfo& port) {
    QString text = port.description();
    if (!port.manufacturer().isEmpty() && !text.contains(port.manufacturer()))
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + port.manufacturer();
    const QString path = port.systemLocation();
    return text.isEmpty() ? path : text + QStringLiteral(" (") + path + QLatin1Char(')');
}
} // namespace

bool EnumerateSerialPorts(QList<unsigned>& numbers, QStringList& names) {
    numbers.clear();
    names.clear();
    for (int number = 1; number <= kHighestPort; ++number) {
        if (!overridden(number)) continue;
        // The library opens exactly this path for the number; list it only while it is there.
        const QString path = QString::fromStdString(varrok::comDevicePath(number));
        if (!QFileInfo::exists(path)) continue;
        numbers.append(static_cast<unsigned>(number));
        names.append(path);
    }
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const int number = varrok::comNumberOfDevice(port.systemLocation().toStdString());
        // Outside the table, or its number leads somewhere else: not openable by number.
        if (number == 0 || overridden(number)) continue;
        numbers.append(static_cast<unsigned>(number));
        names.append(description(port));
    }
    return true;
}

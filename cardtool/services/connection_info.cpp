#include "services/connection_info.h"

ConnectionInfo::ConnectionInfo(int portNumber, int index, const QString& name)
    : port(portNumber), friendlyName(name), baudIndex(index) {
    if (port >= 1 && port <= 255) {
        portName = QStringLiteral("COM%1").arg(port);
        type = QStringLiteral("com");
        SetBaudIndex(index);
    } else if (port == kTcpPort) {
        portName = QStringLiteral("TCP%1").arg(index, 3, 10, QLatin1Char('0'));
        type = QStringLiteral("tcp");
        baudRate = index;
    }
}

void ConnectionInfo::SetBaudIndex(int index) {
    baudIndex = index;
    if (!IsTcp() && index >= 0 && index < static_cast<int>(kBaudTable.size())) baudRate = kBaudTable[index];
}

void PortList::Clear() {
    entries_.clear();
    order_.clear();
}

void PortList::Add(const ConnectionInfo& entry) {
    entries_.insert(entry.portName, entry);
    order_.append(entry.portName);
}

void PortList::Set(const QString& name, const ConnectionInfo& entry) { entries_.insert(name, entry); }

// Rebuilding the list of every reader port the tool knows: the serial ports
// found on the machine and the TCP readers of "ipaddr.ini" beside the tool.
// The entry of the connection in use keeps its open handle.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "services/connection_info.h"

using SerialEnumerator = std::function<bool(QList<unsigned>&, QStringList&)>;

// The entry number of an "ipaddr.ini" section: its characters 4 to 6 read as
// a signed decimal number, clamped to 0-999 (TCP001 is 1, TCP-12 is 0).
int TcpEntryNumber(const QString& sectionName);

void RefreshPortList(PortList& ports, ConnectionInfo& current, const QString& appDir,
                     const SerialEnumerator& enumerate);

// The serial ports of this machine that the reader library can open by
// number. A port's number is the library's own COM mapping read backwards, so
// what the tool lists is exactly what rf_init_com can open: a VARROK_COM<n>
// override first (the simulator's pseudo-terminal appears this way), then the
// devices of the fixed table (/dev/ttyS<k>, /dev/ttyUSB<k>, /dev/ttyACM<k>).
// A device outside the mapping cannot be opened by number and is not listed.
#pragma once

#include <QList>
#include <QStringList>

// Both lists are emptied, then filled index for index: port number and the
// device's description (empty when it has none). False only when the ports
// cannot be enumerated at all.
bool EnumerateSerialPorts(QList<unsigned>& numbers, QStringList& names);

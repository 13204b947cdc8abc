// Where serial port number n (COMn) lives on this machine.
//
// $VARROK_COM<n> names the device when set (tests and the demo point a COM
// number at the simulator's pseudo-terminal this way). Otherwise:
//   COM1-32  -> /dev/ttyS0-31
//   COM33-64 -> /dev/ttyUSB0-31
//   COM65-96 -> /dev/ttyACM0-31
// and higher numbers have no device.
#pragma once

#include <string>

namespace varrok {

// Empty when the number has no device.
std::string comDevicePath(int port);
// The inverse for a device path of the fixed table; 0 when it has no number.
int comNumberOfDevice(const std::string& path);

} // namespace varrok

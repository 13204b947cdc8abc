// The process-wide tables of open readers: by connection key (owning the
// transports) and by device address (routing commands).
#pragma once

#include "link/bus.h"

#include <cstdint>

namespace varrok {

// The transport that device address icdev reaches, or nullptr when no reader is open.
CCommBus* findTransport(int icdev);

} // namespace varrok

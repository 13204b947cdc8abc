#include "reader.h"

#include "varrok.h"

namespace varrok_ifd {

Reader::Reader(DeviceName name) : link_(std::move(name)) {
    slots_.push_back(std::make_unique<ContactlessSlot>(link_, keys_));
    for (unsigned char n = 1; n <= kSamSlots; ++n)
        slots_.push_back(std::make_unique<SamSlot>(link_, n));
}

std::optional<Bytes> Reader::control(unsigned long code, const std::uint8_t* in, std::size_t size) {
    // No reader features of the PC/SC kind (PIN pads and the like): an empty list.
    if (code == kGetFeatureRequest) return Bytes{};
    if (code != kControlBeep && code != kControlLed && code != kControlAntenna) return std::nullopt;
    if (size != 1 || in == nullptr || !link_.up()) return std::nullopt;
    if (code == kControlAntenna && in[0] > 1) return std::nullopt;
    const unsigned short icdev = link_.icdev();
    const int rc = code == kControlBeep  ? rf_Reader_SetBeep(icdev, in[0])
                   : code == kControlLed ? rf_Reader_SetLight(icdev, in[0])
                                         : rf_Reader_SetAntenna(icdev, in[0]);
    if (rc != 0) {
        link_.lostOn(rc);
        return std::nullopt;
    }
    return Bytes{};
}

} // namespace varrok_ifd

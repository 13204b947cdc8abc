#include "simulator/reader/reader_control.h"

namespace sim {

namespace {

// Commands that only store one byte of reader state.
Handler storeByte(std::uint8_t ReaderState::*member) {
    return [member](const Request& request, Context& context) -> std::optional<Answer> {
        if (!hasLength(request, 1)) return Status::BadLength;
        context.reader.*member = request.data[0];
        return Answer::ok();
    };
}

std::optional<Answer> setAddress(const Request& request, Context& context) {
    if (!hasLength(request, 2)) return Status::BadLength;
    context.reader.address = static_cast<std::uint16_t>(request.data[0] << 8 | request.data[1]);
    return Answer::ok();
}

// The host finds out which reader is on the line: the answer carries the
// reader's address, whatever address the request went to.
std::optional<Answer> getAddress(const Request&, Context& context) {
    Answer answer = Answer::ok();
    answer.address = context.reader.address;
    return answer;
}

std::optional<Answer> firmwareVersion(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    const auto& version = context.reader.firmware;
    return Answer::ok(Bytes(version.begin(), version.end()));
}

std::optional<Answer> serialNumber(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    const auto& serial = context.reader.serial;
    return Answer::ok(Bytes(serial.begin(), serial.end()));
}

std::optional<Answer> beep(const Request& request, Context& context) {
    if (!hasLength(request, 1)) return Status::BadLength;
    context.reader.lastBeep = request.data[0];
    ++context.reader.beeps;
    return Answer::ok();
}

std::optional<Answer> isoType(const Request& request, Context& context) {
    if (!hasLength(request, 1)) return Status::BadLength;
    context.field.setIsoType(request.data[0]);
    return Answer::ok();
}

std::optional<Answer> antenna(const Request& request, Context& context) {
    if (!hasLength(request, 1)) return Status::BadLength;
    if (request.data[0] > 1) return Status::BadParameter;
    context.field.setAntenna(request.data[0] == 1);
    return Answer::ok();
}

std::optional<Answer> display(const Request& request, Context& context) {
    auto& segments = context.reader.display;
    if (!hasLength(request, segments.size())) return Status::BadLength;
    std::copy(request.data.begin(), request.data.end(), segments.begin());
    return Answer::ok();
}

// Page (2 bytes, high first), offset and length, as both flash commands start.
struct FlashRange {
    std::size_t page, offset, length;
};

FlashRange flashRange(const Request& request) {
    const auto& d = request.data;
    return {static_cast<std::size_t>(d[0] << 8 | d[1]), d[2], d[3]};
}

std::optional<Answer> flashRead(const Request& request, Context& context) {
    if (!hasLength(request, 4)) return Status::BadLength;
    const FlashRange r = flashRange(request);
    if (!context.reader.flash.fits(r.page, r.offset, r.length) || r.length > kMaxResponseData)
        return Status::FlashOutOfRange;
    return Answer::ok(context.reader.flash.read(r.page, r.offset, r.length));
}

std::optional<Answer> flashWrite(const Request& request, Context& context) {
    if (request.data.size() < 4) return Status::BadLength;
    const FlashRange r = flashRange(request);
    if (request.data.size() != 4 + r.length) return Status::BadLength;
    if (!context.reader.flash.fits(r.page, r.offset, r.length)) return Status::FlashOutOfRange;
    context.reader.flash.write(r.page, r.offset, std::span(request.data).subspan(4));
    return Answer::ok();
}

} // namespace

void registerReaderControl(Dispatcher& dispatcher) {
    dispatcher.add(cmd::SetAddress, setAddress);
    dispatcher.add(cmd::GetAddress, getAddress);
    dispatcher.add(cmd::FirmwareVersion, firmwareVersion);
    dispatcher.add(cmd::SerialNumber, serialNumber);
    dispatcher.add(cmd::Beep, beep);
    dispatcher.add(cmd::IsoType, isoType);
    dispatcher.add(cmd::Antenna, antenna);
    dispatcher.add(cmd::Led, storeByte(&ReaderState::led));
    dispatcher.add(cmd::AuthenticationStandard, storeByte(&ReaderState::authenticationStandard));
    dispatcher.add(cmd::Display, display);
    dispatcher.add(cmd::FlashRead, flashRead);
    dispatcher.add(cmd::FlashWrite, flashWrite);
}

} // namespace sim

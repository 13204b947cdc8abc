#include "simulator/cards/smart_card_app.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {

constexpr std::uint8_t kInterindustryClass = 0x00;

namespace ins {
constexpr std::uint8_t Select = 0xA4;
constexpr std::uint8_t GetChallenge = 0x84;
constexpr std::uint8_t ReadBinary = 0xB0;
constexpr std::uint8_t UpdateBinary = 0xD6;
} // namespace ins

constexpr std::uint8_t kSelectByAid = 0x04;
constexpr std::uint8_t kReturnFci = 0x00;
constexpr std::uint8_t kNoResponseData = 0x0C;

// READ/UPDATE BINARY: P1 bit 8 clear means P1-P2 is a 15-bit offset.
constexpr std::uint8_t kShortFileIdFlag = 0x80;

std::size_t offsetOf(const Apdu& apdu) { return static_cast<std::size_t>((apdu.p1 & 0x7F) << 8 | apdu.p2); }

} // namespace

std::optional<Apdu> Apdu::parse(const Bytes& bytes) {
    if (bytes.size() < 4) return std::nullopt;
    Apdu apdu;
    apdu.cla = bytes[0];
    apdu.ins = bytes[1];
    apdu.p1 = bytes[2];
    apdu.p2 = bytes[3];
    if (bytes.size() == 4) return apdu; // case 1
    const std::size_t b5 = bytes[4];
    if (bytes.size() == 5) { // case 2: b5 is Le
        apdu.le = b5 == 0 ? 256 : b5;
        return apdu;
    }
    // Cases 3 and 4: b5 is Lc; 00 would start an extended-length APDU.
    if (b5 == 0) return std::nullopt;
    if (bytes.size() == 5 + b5) {
        apdu.data.assign(bytes.begin() + 5, bytes.end());
        return apdu;
    }
    if (bytes.size() == 6 + b5) {
        apdu.data.assign(bytes.begin() + 5, bytes.end() - 1);
        const std::size_t le = bytes.back();
        apdu.le = le == 0 ? 256 : le;
        return apdu;
    }
    return std::nullopt;
}

Bytes withStatus(Bytes data, std::uint16_t statusWord) {
    data.push_back(static_cast<std::uint8_t>(statusWord >> 8));
    data.push_back(static_cast<std::uint8_t>(statusWord));
    return data;
}

std::uint16_t statusWordOf(const Bytes& answer) {
    if (answer.size() < 2) return 0;
    return static_cast<std::uint16_t>(answer[answer.size() - 2] << 8 | answer.back());
}

SmartCardApp::SmartCardApp(Bytes aid, Bytes file, Access access)
    : aid_(std::move(aid)), file_(std::move(file)), access_(access), random_(std::random_device{}()) {
    if (aid_.empty() || aid_.size() > 16) throw std::invalid_argument("an AID has 1 to 16 bytes");
    if (file_.empty() || file_.size() > kMaxFileSize) throw std::invalid_argument("file size out of range");
}

Bytes SmartCardApp::sampleAid() { return {0xF0, 'V', 'R', 'K', 'A', 'P', 'P'}; }

std::unique_ptr<SmartCardApp> SmartCardApp::sample() {
    return std::make_unique<SmartCardApp>(sampleAid(), Bytes(128, 0x00));
}

void SmartCardApp::reset() {
    selected_ = false;
    challenge_.clear();
}

Bytes SmartCardApp::process(const Bytes& command) {
    const std::optional<Apdu> apdu = Apdu::parse(command);
    if (!apdu) return statusOnly(sw::WrongLength);
    if (apdu->cla != kInterindustryClass) return statusOnly(sw::UnknownClass);
    // A challenge is good for the command right after it only.
    challenge_.clear();
    if (std::optional<Bytes> own = processOwn(*apdu)) return std::move(*own);
    switch (apdu->ins) {
    case ins::Select:
        return select(*apdu);
    case ins::GetChallenge:
        return getChallenge(*apdu);
    case ins::ReadBinary:
        return readBinary(*apdu);
    case ins::UpdateBinary:
        return updateBinary(*apdu);
    default:
        return statusOnly(sw::UnknownInstruction);
    }
}

Bytes SmartCardApp::select(const Apdu& apdu) {
    if (apdu.data.empty()) return statusOnly(sw::WrongLength);
    if (apdu.p1 != kSelectByAid || (apdu.p2 != kReturnFci && apdu.p2 != kNoResponseData))
        return statusOnly(sw::WrongP1P2);
    if (apdu.data != aid_) return statusOnly(sw::FileNotFound);
    selected_ = true;
    if (apdu.p2 == kNoResponseData) return statusOnly(sw::Ok);
    // File control information: a template holding the DF name.
    Bytes fci{0x6F, static_cast<std::uint8_t>(aid_.size() + 2), 0x84, static_cast<std::uint8_t>(aid_.size())};
    fci.insert(fci.end(), aid_.begin(), aid_.end());
    return withStatus(std::move(fci), sw::Ok);
}

Bytes SmartCardApp::getChallenge(const Apdu& apdu) {
    if (!apdu.data.empty() || !apdu.le) return statusOnly(sw::WrongLength);
    if (apdu.p1 != 0 || apdu.p2 != 0) return statusOnly(sw::WrongP1P2);
    if (*apdu.le > kMaxChallenge) return statusOnly(sw::WrongLength); // Le 00 reads as 256
    Bytes challenge(*apdu.le);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : challenge)
        b = static_cast<std::uint8_t>(byte(random_));
    challenge_ = challenge;
    return withStatus(std::move(challenge), sw::Ok);
}

Bytes SmartCardApp::readBinary(const Apdu& apdu) {
    if (!apdu.data.empty() || !apdu.le) return statusOnly(sw::WrongLength);
    if (apdu.p1 & kShortFileIdFlag) return statusOnly(sw::WrongP1P2);
    if (!selected_) return statusOnly(sw::NoCurrentFile);
    const std::size_t offset = offsetOf(apdu);
    if (offset >= file_.size()) return statusOnly(sw::OffsetOutsideFile);
    const std::size_t available = file_.size() - offset;
    // Le 00 asks for whatever there is; an explicit Le beyond the end gets the
    // rest of the file and a warning.
    const bool wantsAll = *apdu.le == 256;
    const std::size_t count = std::min(*apdu.le, available);
    Bytes data(file_.begin() + static_cast<std::ptrdiff_t>(offset),
               file_.begin() + static_cast<std::ptrdiff_t>(offset + count));
    return withStatus(std::move(data), count < *apdu.le && !wantsAll ? sw::EndOfFile : sw::Ok);
}

Bytes SmartCardApp::updateBinary(const Apdu& apdu) {
    if (apdu.data.empty() || apdu.le) return statusOnly(sw::WrongLength);
    if (apdu.p1 & kShortFileIdFlag) return statusOnly(sw::WrongP1P2);
    if (!selected_) return statusOnly(sw::NoCurrentFile);
    const std::size_t offset = offsetOf(apdu);
    if (offset >= file_.size()) return statusOnly(sw::OffsetOutsideFile);
    if (access_ == Access::ReadOnly) return statusOnly(sw::SecurityNotSatisfied);
    if (apdu.data.size() > file_.size() - offset) return statusOnly(sw::NotEnoughSpace);
    std::copy(apdu.data.begin(), apdu.data.end(), file_.begin() + static_cast<std::ptrdiff_t>(offset));
    return statusOnly(sw::Ok);
}

} // namespace sim

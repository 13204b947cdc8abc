#include "simulator/reader/sam_slots.h"

#include <stdexcept>

namespace sim {

namespace {

// Clock rate conversion factor F by Fi and baud rate adjustment factor D by
// Di; 0 marks reserved codes.
constexpr std::array<unsigned, 16> kF{372, 372, 558, 744,  1116, 1488, 1860, 0,
                                      0,   512, 768, 1024, 1536, 2048, 0,    0};
constexpr std::array<unsigned, 16> kD{0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

constexpr std::uint8_t kDefaultTa1 = 0x11;
constexpr std::uint8_t kIfsc = 0xFE;   // T=1: the SAM takes blocks of up to 254 bytes
constexpr std::uint8_t kBwiCwi = 0x45; // T=1: block and character waiting times
constexpr std::size_t kMaxHistorical = 15;

constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint16_t kNothingWaiting = 0x6985; // conditions of use not satisfied

} // namespace

std::optional<unsigned> samBaudRate(std::uint8_t baudId) {
    if (baudId >= kSamBaudRates.size()) return std::nullopt;
    return kSamBaudRates[baudId];
}

unsigned maxRateOf(std::uint8_t ta1) {
    const unsigned f = kF[ta1 >> 4], d = kD[ta1 & 0x0F];
    if (f == 0 || d == 0) throw std::invalid_argument("TA1 with a reserved Fi or Di");
    return 9600 * d * 372 / f;
}

Bytes buildAtr(const AtrProfile& profile) {
    if (!profile.t0 && !profile.t1) throw std::invalid_argument("a SAM offers T=0, T=1 or both");
    if (profile.historical.size() > kMaxHistorical)
        throw std::invalid_argument("at most 15 historical bytes");
    maxRateOf(profile.ta1); // rejects reserved codes

    const bool withTa1 = profile.ta1 != kDefaultTa1;
    const bool withTd1 = profile.t1; // T=0 alone is the default and needs no TD1
    Bytes atr{static_cast<std::uint8_t>(profile.inverseConvention ? 0x3F : 0x3B)};
    atr.push_back(
        static_cast<std::uint8_t>((withTa1 ? 0x10 : 0) | (withTd1 ? 0x80 : 0) | profile.historical.size()));
    if (withTa1) atr.push_back(profile.ta1);
    if (withTd1) {
        // TD1 names the first protocol and announces TD2; TD2 names T=1 and
        // announces its TA3 (IFSC) and TB3 (waiting times).
        atr.push_back(profile.t0 ? 0x80 : 0x81);
        atr.push_back(0x31);
        atr.push_back(kIfsc);
        atr.push_back(kBwiCwi);
    }
    atr.insert(atr.end(), profile.historical.begin(), profile.historical.end());
    if (profile.t1) {
        std::uint8_t tck = 0;
        for (std::size_t i = 1; i < atr.size(); ++i)
            tck ^= atr[i];
        atr.push_back(tck);
    }
    return atr;
}

Sam::Sam(const Sam& other)
    : profile_(other.profile_), atr_(other.atr_), app_(other.app_->clone()), atrBaudId_(other.atrBaudId_),
      powered_(other.powered_), ppsAllowed_(other.ppsAllowed_), rate_(other.rate_), waiting_(other.waiting_) {
}

Sam::Sam(AtrProfile profile, std::unique_ptr<SmartCardApp> app, std::uint8_t atrBaudId)
    : profile_(std::move(profile)), atr_(buildAtr(profile_)), app_(std::move(app)), atrBaudId_(atrBaudId) {
    if (!app_) throw std::invalid_argument("a SAM needs an application");
    if (!samBaudRate(atrBaudId_)) throw std::invalid_argument("unknown ATR baud rate identifier");
}

Bytes Sam::standardAid() { return {0xF0, 'V', 'R', 'K', 'S', 'A', 'M'}; }

std::unique_ptr<Sam> Sam::standard() {
    Bytes file(128, 0x00);
    return std::make_unique<Sam>(AtrProfile{},
                                 std::make_unique<SmartCardApp>(standardAid(), std::move(file)));
}

bool Sam::offers(std::uint8_t protocol) const {
    return (protocol == 0 && profile_.t0) || (protocol == 1 && profile_.t1);
}

Bytes Sam::reset() {
    powered_ = true;
    ppsAllowed_ = true;
    rate_ = kSamBaudRates[atrBaudId_];
    waiting_.clear();
    app_->reset();
    return atr_;
}

void Sam::powerDown() {
    powered_ = false;
    ppsAllowed_ = false;
    rate_ = 0;
    waiting_.clear();
    app_->reset();
}

bool Sam::pps(std::uint8_t protocol, unsigned rate) {
    if (!powered_ || !ppsAllowed_) return false;
    // Whatever the SAM answers, the window for PPS is over.
    ppsAllowed_ = false;
    if (!offers(protocol) || rate > maxRate()) return false;
    rate_ = rate;
    return true;
}

std::optional<Bytes> Sam::transmit(std::uint8_t protocol, const Bytes& apdu) {
    if (!powered_ || !offers(protocol)) return std::nullopt;
    ppsAllowed_ = false;
    if (protocol == 1) return app_->process(apdu);

    const std::optional<Apdu> parsed = Apdu::parse(apdu);
    if (parsed && parsed->cla == 0x00 && parsed->ins == kGetResponse) return getResponse(apdu);
    waiting_.clear();
    Bytes answer = app_->process(apdu);
    if (!parsed || !parsed->expectsDataBack() || answer.size() <= 2) return answer;
    // T=0 cannot send data back in the exchange that carried data in.
    const std::uint16_t status = statusWordOf(answer);
    if (status != sw::Ok) return statusOnly(status);
    waiting_.assign(answer.begin(), answer.end() - 2);
    return statusOnly(sw::bytesAvailable(static_cast<std::uint8_t>(waiting_.size())));
}

Bytes Sam::getResponse(const Bytes& apdu) {
    const std::optional<Apdu> parsed = Apdu::parse(apdu);
    if (!parsed->le || !parsed->data.empty()) return statusOnly(sw::WrongLength);
    if (parsed->p1 != 0 || parsed->p2 != 0) return statusOnly(sw::WrongP1P2);
    if (waiting_.empty()) return statusOnly(kNothingWaiting);
    const std::size_t le = *parsed->le == 256 ? waiting_.size() : *parsed->le;
    if (le > waiting_.size()) return statusOnly(sw::wrongLe(static_cast<std::uint8_t>(waiting_.size())));
    Bytes data(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(le));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(le));
    if (waiting_.empty()) return withStatus(std::move(data), sw::Ok);
    return withStatus(std::move(data), sw::bytesAvailable(static_cast<std::uint8_t>(waiting_.size())));
}

SamSlot& SamSlots::slot(std::uint8_t slot) {
    if (!exists(slot)) throw std::out_of_range("no such SAM slot");
    return slots_[slot - 1];
}

void SamSlots::insert(std::uint8_t slot, std::unique_ptr<Sam> sam) {
    SamSlot& s = this->slot(slot);
    if (sam) sam->powerDown();
    s.sam = std::move(sam);
}

std::unique_ptr<Sam> SamSlots::remove(std::uint8_t slot) {
    SamSlot& s = this->slot(slot);
    if (s.sam) s.sam->powerDown();
    return std::move(s.sam);
}

Answer SamSlots::setBaud(std::uint8_t slot, std::uint8_t baudId) {
    if (!exists(slot) || !samBaudRate(baudId)) return Status::BadParameter;
    // A SAM that is running keeps its rate; the new one counts from the next reset.
    this->slot(slot).resetBaudId = baudId;
    return Answer::ok();
}

Answer SamSlots::reset(std::uint8_t slot) {
    if (!exists(slot)) return Status::BadParameter;
    SamSlot& s = this->slot(slot);
    if (!s.sam) return Answer::raw(sam_status::Absent);
    Bytes atr = s.sam->reset();
    if (s.resetBaudId != s.sam->atrBaudId()) {
        // The ATR went by at another rate: the reader saw only noise and gives up on the SAM.
        s.sam->powerDown();
        return Answer::raw(sam_status::Mute);
    }
    s.protocol = s.sam->firstProtocol();
    s.linkBaudId = s.resetBaudId;
    return Answer::ok(std::move(atr));
}

std::optional<Answer> SamSlots::notReady(std::uint8_t slot) {
    if (!exists(slot)) return Answer(Status::BadParameter);
    const SamSlot& s = this->slot(slot);
    if (!s.sam) return Answer::raw(sam_status::Absent);
    if (!s.sam->powered()) return Answer::raw(sam_status::NotActivated);
    return std::nullopt;
}

Answer SamSlots::pps(std::uint8_t slot, std::uint8_t baudId) {
    if (auto refused = notReady(slot)) return std::move(*refused);
    const std::optional<unsigned> rate = samBaudRate(baudId);
    if (!rate) return Status::BadParameter;
    SamSlot& s = this->slot(slot);
    if (!s.sam->pps(s.protocol, *rate)) return Answer::raw(sam_status::PpsRefused);
    s.linkBaudId = baudId;
    return Answer::ok();
}

Answer SamSlots::setProtocol(std::uint8_t slot, std::uint8_t protocol) {
    if (auto refused = notReady(slot)) return std::move(*refused);
    SamSlot& s = this->slot(slot);
    if (protocol > 1 || !s.sam->offers(protocol)) return Status::BadParameter;
    s.protocol = protocol;
    return Answer::ok();
}

Answer SamSlots::apdu(std::uint8_t slot, const Bytes& command) {
    if (auto refused = notReady(slot)) return std::move(*refused);
    SamSlot& s = this->slot(slot);
    std::optional<Bytes> answer = s.sam->transmit(s.protocol, command);
    if (!answer) return Answer::raw(sam_status::Mute);
    return Answer::ok(std::move(*answer));
}

} // namespace sim

#include "contactless_slot.h"

#include "varrok.h"

namespace varrok_ifd {

namespace {

constexpr std::uint8_t kTypeA = 'A', kTypeB = 'B', kVicinity = '1';
constexpr unsigned char kWakeUpA = 0x52, kWakeUpB = 1;

CardKind typeAKind(std::uint8_t sak) {
    if (sak & 0x20) return CardKind::SmartCardA;
    switch (sak) {
    case 0x09:
        return CardKind::ClassicMini;
    case 0x08:
        return CardKind::Classic1K;
    case 0x18:
        return CardKind::Classic4K;
    case 0x00:
        return CardKind::Ultralight;
    default:
        return CardKind::OtherTypeA;
    }
}

// The historical bytes of an ATS: TL T0, then TA TB TC as T0 announces them.
Bytes historicalBytes(const unsigned char* ats, std::size_t len) {
    if (len < 2) return {};
    const std::size_t end = std::min<std::size_t>(len, ats[0]);
    std::size_t at = 2;
    for (unsigned bit = 0x10; bit <= 0x40; bit <<= 1)
        if (ats[1] & bit) ++at;
    return at < end ? Bytes(ats + at, ats + end) : Bytes{};
}

} // namespace

bool ContactlessSlot::linkOk(int rc) { return !link_.lostOn(rc); }

bool ContactlessSlot::switchTo(std::uint8_t isoType) {
    if (isoType_ == isoType) return true;
    const int rc = rf_Reader_SetISOType(link_.icdev(), isoType);
    if (rc != 0) {
        linkOk(rc);
        return false;
    }
    isoType_ = isoType;
    return true;
}

std::optional<Card> ContactlessSlot::findTypeA() {
    if (!switchTo(kTypeA)) return std::nullopt;
    const auto getCard = [this](Card& card) {
        unsigned char data[256] = {}, len = 0;
        const int rc = rf_ISO14443A_GetCard(link_.icdev(), kWakeUpA, data, &len);
        if (rc != 0 || len < 7 || len > 13) {
            linkOk(rc);
            return false;
        }
        card.sak = data[2];
        card.uid.assign(data + 3, data + len);
        return true;
    };
    Card card;
    if (!getCard(card)) return std::nullopt;
    // The card the slot knows: nothing more to ask it.
    if (card_ && card_->uid == card.uid && card_->sak == card.sak) return card_;
    card.kind = typeAKind(card.sak);
    if (card.kind == CardKind::SmartCardA) {
        unsigned char ats[256] = {}, len = 0;
        const int rc = rf_ISO14443_4_TypeA_RATS(link_.icdev(), ats, &len);
        if (rc != 0) return linkOk(rc) ? std::optional<Card>(card) : std::nullopt;
        card.historical = historicalBytes(ats, len);
    } else if (card.kind == CardKind::Ultralight) {
        // Only the C variant has a page 0x20; the other refuses and needs
        // selecting again.
        unsigned char pages[16];
        const int rc = rf_UltraLight_Read(link_.icdev(), 0x20, pages);
        if (rc == 0)
            card.kind = CardKind::UltralightC;
        else if (!linkOk(rc) || !getCard(card))
            return std::nullopt;
    }
    return card;
}

std::optional<Card> ContactlessSlot::findTypeB() {
    if (!switchTo(kTypeB)) return std::nullopt;
    unsigned char atqb[12] = {};
    const int rc = rf_ISO14443B_Request(link_.icdev(), kWakeUpB, atqb);
    if (rc != 0 || atqb[0] != 0x50) {
        linkOk(rc);
        return std::nullopt;
    }
    Card card;
    card.kind = CardKind::SmartCardB;
    card.uid.assign(atqb + 1, atqb + 5);
    card.historical.assign(atqb + 5, atqb + 12);
    return card;
}

std::optional<Card> ContactlessSlot::findVicinity() {
    if (!switchTo(kVicinity)) return std::nullopt;
    unsigned char data[256] = {}, len = 0;
    const int rc = rf_ISO15693_Inventory(link_.icdev(), data, &len);
    if (rc != 0 || len != 9) {
        linkOk(rc);
        return std::nullopt;
    }
    Card card;
    card.kind = CardKind::Vicinity;
    card.uid.assign(data + 1, data + 9);
    card.maker = card.uid[6]; // the UID comes least significant byte first, E0 last
    return card;
}

std::optional<Card> ContactlessSlot::find() {
    using Finder = std::optional<Card> (ContactlessSlot::*)();
    Finder finders[] = {&ContactlessSlot::findTypeA, &ContactlessSlot::findTypeB,
                        &ContactlessSlot::findVicinity};
    // The known card's family first: asking another family switches the
    // field's protocol, which every card feels as a power cycle.
    if (card_) {
        const Finder first = card_->kind == CardKind::SmartCardB ? finders[1]
                             : card_->kind == CardKind::Vicinity ? finders[2]
                                                                 : finders[0];
        if (auto card = (this->*first)()) return card;
    }
    for (Finder finder : finders) {
        if (!link_.up()) return std::nullopt;
        if (auto card = (this->*finder)()) return card;
    }
    return std::nullopt;
}

Presence ContactlessSlot::presence() {
    if (!link_.up()) {
        card_.reset();
        conversation_ = false;
        return Presence::ReaderDown;
    }
    if (generation_ != link_.generation()) { // a reader opened again knows nothing of us
        generation_ = link_.generation();
        isoType_ = 0;
        conversation_ = false;
    }
    if (cardLost_) { // seen at an APDU: report the removal before looking again
        cardLost_ = false;
        conversation_ = false;
        card_.reset();
        return Presence::Absent;
    }
    if (conversation_ && card_) return link_.ping() ? Presence::Present : Presence::ReaderDown;
    auto found = find();
    if (!link_.up()) {
        card_.reset();
        return Presence::ReaderDown;
    }
    // Another card in place of the known one is a removal now and an
    // insertion at the next check.
    const bool swapped = found && card_ && !(*found == *card_);
    card_ = swapped ? std::nullopt : found;
    return card_ ? Presence::Present : Presence::Absent;
}

std::optional<Bytes> ContactlessSlot::powerUp() {
    conversation_ = false;
    if (!card_) presence();
    if (!card_) return std::nullopt;
    atr_ = buildAtr(*card_);
    return atr_;
}

bool ContactlessSlot::recover() {
    if (!card_ || !link_.up()) return false;
    const Card known = *card_;
    const auto found = find();
    if (found && *found == known) return true;
    cardLost_ = true;
    return false;
}

Reply ContactlessSlot::refused(int rc, Sw onRefusal) {
    if (!linkOk(rc)) return Reply::failed();
    if (!recover()) return Reply::gone();
    switch (rc) {
    case 0x03:
    case 0x04:
        return Reply::ok(withSw(Sw::SecurityStatus));
    case 0x05:
        return Reply::ok(withSw(Sw::Incompatible));
    case 0x06:
        return Reply::ok(withSw(Sw::NoSuchBlock));
    case 0x08:
        return Reply::ok(withSw(Sw::NotAllowed));
    default:
        return Reply::ok(withSw(onRefusal));
    }
}

Reply ContactlessSlot::transmit(const std::uint8_t* apdu, std::size_t size) {
    if (!card_ || cardLost_) return Reply::gone();
    if (!link_.up()) return Reply::failed();
    conversation_ = true;
    // The older Authenticate is six bytes with no length byte: FF 88 00
    // block, key type, key number.
    if (size == 6 && apdu[0] == 0xFF && apdu[1] == 0x88)
        return apdu[2] == 0 ? authenticate(apdu[3], apdu[4], apdu[5]) : Reply::ok(withSw(Sw::WrongP1P2));
    const auto parsed = Apdu::parse(apdu, size);
    if (!parsed) return Reply::ok(withSw(Sw::WrongLength));
    if (parsed->cla == 0xFF) return pseudo(*parsed);
    if (!isSmartCard(card_->kind)) return Reply::ok(withSw(Sw::ClassNotSupported));
    return toCard(apdu, size);
}

} // namespace varrok_ifd

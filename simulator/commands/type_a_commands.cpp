#include "simulator/commands/type_a_commands.h"

#include "simulator/commands/card_dumps.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <vector>

#include "simulator/cards/classic.h"
#include "simulator/cards/type_a_card.h"
#include "simulator/cards/ultralight.h"

namespace sim {

namespace {

constexpr std::uint8_t kReqa = 0x26;
constexpr std::uint8_t kWupa = 0x52;
constexpr std::uint8_t kCascadeTag = 0x88;
// The SAK a card answers at a cascade level that does not complete its UID.
constexpr std::uint8_t kSakUidIncomplete = 0x04;

// Where the reader is in a Type A search. The cards themselves keep their
// own state (halted, authenticated), the Field keeps which card is selected,
// and the key store is the reader's.
struct TypeAState {
    // Cards that answered the last REQA/WUPA and are still in the READY state:
    // not selected yet, and matching every cascade level selected so far.
    std::vector<Card*> ready;
    // Cascade levels selected so far for the ready cards (0 = none).
    std::size_t level = 0;
    // The field's power stamp when the cards went READY: a card that lost
    // power since then is IDLE again, and a card that arrived never heard the request.
    std::uint64_t powerStamp = 0;
};
using StatePtr = std::shared_ptr<TypeAState>;

std::size_t cascadeLevels(const TypeACard& card) {
    const std::size_t size = card.uid().size();
    return size <= 4 ? 1 : size <= 7 ? 2 : 3;
}

// The 4 bytes a card sends at one cascade level: its UID bytes, behind the
// cascade tag at every level but the last.
std::optional<std::array<std::uint8_t, 4>> cascadeBytes(const TypeACard& card, std::size_t level) {
    const Bytes& uid = card.uid();
    const std::size_t levels = cascadeLevels(card);
    if (level < 1 || level > levels || uid.size() < 4) return std::nullopt;
    if (level == levels)
        return std::array<std::uint8_t, 4>{uid[uid.size() - 4], uid[uid.size() - 3], uid[uid.size() - 2],
                                           uid[uid.size() - 1]};
    const std::size_t at = (level - 1) * 3;
    return std::array<std::uint8_t, 4>{kCascadeTag, uid[at], uid[at + 1], uid[at + 2]};
}

// Several cards answering at once: the reader resolves the collision down to
// the card with the lowest UID, so the same field always gives the same card.
TypeACard* lowest(const std::vector<TypeACard*>& cards) {
    if (cards.empty()) return nullptr;
    return *std::min_element(cards.begin(), cards.end(),
                             [](const TypeACard* a, const TypeACard* b) { return a->uid() < b->uid(); });
}

std::vector<TypeACard*> listening(Context& c) { return c.field.inRange<TypeACard>(); }

std::vector<TypeACard*> readyCards(const TypeAState& s, Context& c) {
    std::vector<TypeACard*> found;
    if (s.powerStamp != c.field.powerStamp()) return found;
    for (TypeACard* card : listening(c))
        if (!card->halted() && std::find(s.ready.begin(), s.ready.end(), card) != s.ready.end())
            found.push_back(card);
    return found;
}

TypeACard* selectedTypeA(Context& c) {
    auto* card = dynamic_cast<TypeACard*>(c.field.selected());
    if (!card) return nullptr;
    const auto here = listening(c);
    return std::find(here.begin(), here.end(), card) != here.end() ? card : nullptr;
}

// Our own card models react to the protocol events the reader drives.
void onWake(TypeACard& card) {
    card.leaveSession();
    if (auto* classic = dynamic_cast<ClassicCard*>(&card)) classic->endSession();
    if (auto* ul = dynamic_cast<UltralightCard*>(&card)) ul->wake();
}

void onHaltOrNak(TypeACard& card) {
    card.leaveSession();
    if (auto* classic = dynamic_cast<ClassicCard*>(&card)) classic->endSession();
    if (auto* ul = dynamic_cast<UltralightCard*>(&card)) ul->halt();
}

// REQA or WUPA: every card in the field that hears it goes to READY. A halted
// card only hears WUPA. A selected card that hears the request leaves the
// ACTIVE state too (a real one would stay silent once and answer the reader's
// retry; the reader hides that retry).
std::vector<TypeACard*> wake(TypeAState& s, Context& c, std::uint8_t mode) {
    s.ready.clear();
    s.level = 0;
    s.powerStamp = c.field.powerStamp();
    if (selectedTypeA(c)) c.field.select(nullptr);
    std::vector<TypeACard*> answered;
    for (TypeACard* card : listening(c)) {
        if (card->halted() && mode != kWupa) continue;
        card->setHalted(false);
        onWake(*card);
        s.ready.push_back(card);
        answered.push_back(card);
    }
    return answered;
}

// The card becomes ACTIVE; the other READY cards did not match the select
// and fall back to IDLE.
void activate(TypeAState& s, Context& c, TypeACard& card) {
    c.field.select(&card);
    s.ready.clear();
    s.level = 0;
}

// A card refused a command with a NAK: it drops back to IDLE.
Answer refused(Context& c, TypeACard& card, Status why) {
    onHaltOrNak(card);
    if (c.field.selected() == &card) c.field.select(nullptr);
    return Answer(why);
}

Answer finish(Context& c, TypeACard& card, Status status, Bytes data = {}) {
    if (status != Status::Ok) return refused(c, card, status);
    return Answer::ok(std::move(data));
}

bool validMode(std::uint8_t mode) { return mode == kReqa || mode == kWupa; }

std::optional<classic::KeyType> keyType(std::uint8_t mode) {
    if (mode == classic::kAuthKeyA) return classic::KeyType::A;
    if (mode == classic::kAuthKeyB) return classic::KeyType::B;
    return std::nullopt;
}

std::int32_t le32(const Bytes& data, std::size_t at) {
    const std::uint32_t raw =
        static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
        static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    return static_cast<std::int32_t>(raw);
}

Bytes le32Bytes(std::int32_t value) {
    const auto raw = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

bool ownModel(const TypeACard& card) {
    return dynamic_cast<const ClassicCard*>(&card) || dynamic_cast<const UltralightCard*>(&card);
}

// The selected card as the model a command needs. Without a selected card
// nothing answers; our other model does not understand the command and NAKs.
// A card of another family is passed on (error stays nullopt): that family may
// serve the command for its cards (MIFARE Plus at level 1 answers the Classic
// commands), so the order in which families are installed does not matter.
template <class T> struct Target {
    T* card = nullptr;
    std::optional<Answer> error;
};

template <class T> Target<T> selectedAs(Context& c) {
    TypeACard* card = selectedTypeA(c);
    if (!card) return {nullptr, Answer(Status::NoCard)};
    if (auto* typed = dynamic_cast<T*>(card)) return {typed, std::nullopt};
    if (ownModel(*card)) return {nullptr, refused(c, *card, Status::CardRefused)};
    return {nullptr, std::nullopt};
}

// --- Finding cards.

Handler request(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        if (!validMode(r.data[0])) return Status::BadParameter;
        const auto cards = wake(*s, c, r.data[0]);
        if (cards.empty()) return Status::NoCard;
        // Cards answering together: a bit sent by any of them reaches the reader.
        std::array<std::uint8_t, 2> atqa{};
        for (const TypeACard* card : cards) {
            atqa[0] |= card->atqa()[0];
            atqa[1] |= card->atqa()[1];
        }
        return Answer::ok({atqa[0], atqa[1]});
    };
}

// Request, anticollision and select in one go: the card with the lowest UID.
TypeACard* findAndSelect(TypeAState& s, Context& c, std::uint8_t mode) {
    TypeACard* card = lowest(wake(s, c, mode));
    if (card) activate(s, c, *card);
    return card;
}

Handler getCard(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        if (!validMode(r.data[0])) return Status::BadParameter;
        TypeACard* card = findAndSelect(*s, c, r.data[0]);
        if (!card) return Status::NoCard;
        Bytes answer{card->atqa()[0], card->atqa()[1], card->sak()};
        answer.insert(answer.end(), card->uid().begin(), card->uid().end());
        return Answer::ok(std::move(answer));
    };
}

// A fresh activation for the host's ISO 14443-4 work: the UID, then the ATS
// of a card that speaks ISO 14443-4 (nothing more for one that does not).
Handler reset(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        if (!validMode(r.data[0])) return Status::BadParameter;
        TypeACard* card = findAndSelect(*s, c, r.data[0]);
        if (!card) return Status::NoCard;
        Bytes answer = card->uid();
        const Bytes ats = card->ats();
        answer.insert(answer.end(), ats.begin(), ats.end());
        return Answer::ok(std::move(answer));
    };
}

Handler anticollLevel(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        const std::size_t level = r.data[0];
        if (level < 1 || level > 3) return Status::BadParameter;
        std::vector<TypeACard*> cards;
        for (TypeACard* card : readyCards(*s, c))
            if (cascadeLevels(*card) >= level) cards.push_back(card);
        if (cards.empty()) return Status::NoCard;
        // Cards in the middle of a cascade only answer the next level.
        if (level != s->level + 1) return Status::WrongCardState;
        const auto bytes = *cascadeBytes(*lowest(cards), level);
        return Answer::ok(Bytes(bytes.begin(), bytes.end()));
    };
}

Handler selectLevel(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 5)) return Status::BadLength;
        const std::size_t level = r.data[0];
        if (level < 1 || level > 3) return Status::BadParameter;
        const auto ready = readyCards(*s, c);
        if (ready.empty()) return Status::NoCard;
        if (level != s->level + 1) return Status::WrongCardState;
        std::vector<TypeACard*> matching;
        for (TypeACard* card : ready) {
            const auto bytes = cascadeBytes(*card, level);
            if (bytes && std::equal(bytes->begin(), bytes->end(), r.data.begin() + 1))
                matching.push_back(card);
        }
        if (matching.empty()) return Status::NoCard;
        TypeACard* card = lowest(matching);
        if (cascadeLevels(*card) == level) {
            activate(*s, c, *card);
            return Answer::ok({card->sak()});
        }
        s->ready.assign(matching.begin(), matching.end());
        s->level = level;
        return Answer::ok({kSakUidIncomplete});
    };
}

// The reader runs every cascade level itself and answers the whole UID of
// the card it resolved. The host's UID size is what it expects; a card with
// another size still answers its own UID, so the host can tell from the length.
Handler anticoll(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        const std::uint8_t size = r.data[0];
        if (size != 4 && size != 7 && size != 10) return Status::BadParameter;
        TypeACard* card = lowest(readyCards(*s, c));
        if (!card) return Status::NoCard;
        s->level = 0;
        return Answer::ok(card->uid());
    };
}

Handler selectUid(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        const std::size_t size = r.data.size();
        if (size != 4 && size != 7 && size != 10) return Status::BadLength;
        for (TypeACard* card : readyCards(*s, c)) {
            if (card->uid() == r.data) {
                activate(*s, c, *card);
                return Answer::ok({card->sak()});
            }
        }
        return Status::NoCard;
    };
}

Handler anticollSelect(StatePtr s) {
    return [s](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, 0)) return Status::BadLength;
        TypeACard* card = lowest(readyCards(*s, c));
        if (!card) return Status::NoCard;
        activate(*s, c, *card);
        Bytes answer{card->sak()};
        answer.insert(answer.end(), card->uid().begin(), card->uid().end());
        return Answer::ok(std::move(answer));
    };
}

std::optional<Answer> halt(const Request& r, Context& c) {
    if (!hasLength(r, 0)) return Status::BadLength;
    TypeACard* card = selectedTypeA(c);
    if (!card) return Status::NoCard;
    card->setHalted(true);
    onHaltOrNak(*card);
    c.field.select(nullptr);
    return Answer::ok();
}

// --- MIFARE Classic.

std::optional<Answer> loadKey(const Request& r, Context& c) {
    if (!hasLength(r, 7)) return Status::BadLength;
    if (r.data[0] >= kKeyStoreSlots) return Status::BadParameter;
    std::copy(r.data.begin() + 1, r.data.end(), c.reader.keyStore[r.data[0]].begin());
    return Answer::ok();
}

std::optional<Answer> authenticate(Context& c, std::uint8_t mode, std::uint8_t block,
                                   std::span<const std::uint8_t, 6> key) {
    const auto type = keyType(mode);
    if (!type) return Status::BadParameter;
    auto target = selectedAs<ClassicCard>(c);
    if (!target.card) return target.error;
    return finish(c, *target.card, target.card->authenticate(*type, block, key));
}

std::optional<Answer> authWithKey(const Request& r, Context& c) {
    if (!hasLength(r, 8)) return Status::BadLength;
    return authenticate(c, r.data[0], r.data[1], std::span<const std::uint8_t, 6>(r.data.data() + 2, 6));
}

std::optional<Answer> authWithStoredKey(const Request& r, Context& c) {
    if (!hasLength(r, 3)) return Status::BadLength;
    if (r.data[2] >= kKeyStoreSlots) return Status::BadParameter;
    return authenticate(c, r.data[0], r.data[1], c.reader.keyStore[r.data[2]]);
}

std::optional<Answer> readBlock(const Request& r, Context& c) {
    if (!hasLength(r, 1)) return Status::BadLength;
    TypeACard* card = selectedTypeA(c);
    if (!card) return Status::NoCard;
    std::array<std::uint8_t, 16> out{};
    Status status;
    if (auto* classic = dynamic_cast<ClassicCard*>(card))
        status = classic->read(r.data[0], out);
    else if (auto* ul = dynamic_cast<UltralightCard*>(card))
        status = ul->read(r.data[0], out);
    else
        return std::nullopt; // another family's card
    return finish(c, *card, status, Bytes(out.begin(), out.end()));
}

// On an Ultralight this is the compatibility write: the card takes 16 bytes
// and stores the first 4 in the page.
std::optional<Answer> writeBlock(const Request& r, Context& c) {
    if (!hasLength(r, 17)) return Status::BadLength;
    TypeACard* card = selectedTypeA(c);
    if (!card) return Status::NoCard;
    if (auto* classic = dynamic_cast<ClassicCard*>(card)) {
        classic::Block data{};
        std::copy(r.data.begin() + 1, r.data.end(), data.begin());
        return finish(c, *card, classic->write(r.data[0], data));
    }
    if (auto* ul = dynamic_cast<UltralightCard*>(card))
        return finish(c, *card, ul->write(r.data[0], std::span<const std::uint8_t, 4>(r.data.data() + 1, 4)));
    return std::nullopt; // another family's card
}

// Purse commands take a block and, for most, a 32-bit value.
using PurseStep = std::optional<Answer> (*)(ClassicCard&, const Request&, Context&);

Handler purse(std::size_t length, PurseStep step) {
    return [length, step](const Request& r, Context& c) -> std::optional<Answer> {
        if (!hasLength(r, length)) return Status::BadLength;
        auto target = selectedAs<ClassicCard>(c);
        if (!target.card) return target.error;
        return step(*target.card, r, c);
    };
}

std::optional<Answer> purseCreate(ClassicCard& card, const Request& r, Context& c) {
    return finish(c, card, card.createValue(r.data[0], le32(r.data, 1)));
}

std::optional<Answer> purseRead(ClassicCard& card, const Request& r, Context& c) {
    std::int32_t value = 0;
    const Status status = card.readValue(r.data[0], value);
    return finish(c, card, status, le32Bytes(value));
}

// The reader completes a decrement or increment with the transfer back into
// the same block, so the purse holds the new value when the command returns.
std::optional<Answer> purseDecrement(ClassicCard& card, const Request& r, Context& c) {
    Status status = card.decrement(r.data[0], le32(r.data, 1));
    if (status == Status::Ok) status = card.transfer(r.data[0]);
    return finish(c, card, status);
}

std::optional<Answer> purseIncrement(ClassicCard& card, const Request& r, Context& c) {
    Status status = card.increment(r.data[0], le32(r.data, 1));
    if (status == Status::Ok) status = card.transfer(r.data[0]);
    return finish(c, card, status);
}

std::optional<Answer> purseRestore(ClassicCard& card, const Request& r, Context& c) {
    return finish(c, card, card.restore(r.data[0]));
}

std::optional<Answer> purseTransfer(ClassicCard& card, const Request& r, Context& c) {
    return finish(c, card, card.transfer(r.data[0]));
}

constexpr std::size_t kMaxBlocksPerFrame = kMaxResponseData / 16; // 15

std::optional<Answer> multiRead(const Request& r, Context& c) {
    if (!hasLength(r, 2)) return Status::BadLength;
    const std::size_t start = r.data[0], count = r.data[1];
    if (count == 0 || count > kMaxBlocksPerFrame) return Status::BadParameter;
    auto target = selectedAs<ClassicCard>(c);
    if (!target.card) return target.error;
    Bytes answer;
    for (std::size_t block = start; block < start + count; ++block) {
        if (block > 0xFF) return refused(c, *target.card, Status::CardAddressInvalid);
        classic::Block data{};
        const Status status = target.card->read(static_cast<std::uint8_t>(block), data);
        if (status != Status::Ok) return refused(c, *target.card, status);
        answer.insert(answer.end(), data.begin(), data.end());
    }
    return Answer::ok(std::move(answer));
}

// 0x89 also carries the SR176 and SRIX multi-block writes (2- and 4-byte
// blocks): claim only 16-byte blocks for a selected Classic card.
std::optional<Answer> multiWrite(const Request& r, Context& c) {
    if (r.data.size() < 2 || r.data.size() != 2 + std::size_t{r.data[1]} * 16) return std::nullopt;
    auto* card = dynamic_cast<ClassicCard*>(selectedTypeA(c));
    if (!card) return std::nullopt;
    const std::size_t start = r.data[0], count = r.data[1];
    if (count == 0) return Status::BadParameter;
    // The reader writes block after block and stops at the first refusal;
    // blocks written before it stay written.
    for (std::size_t i = 0; i < count; ++i) {
        if (start + i > 0xFF) return refused(c, *card, Status::CardAddressInvalid);
        classic::Block data{};
        std::copy_n(r.data.begin() + 2 + 16 * i, 16, data.begin());
        const Status status = card->write(static_cast<std::uint8_t>(start + i), data);
        if (status != Status::Ok) return refused(c, *card, status);
    }
    return Answer::ok();
}

// --- Ultralight.

std::optional<Answer> ultralightWrite(const Request& r, Context& c) {
    if (!hasLength(r, 5)) return Status::BadLength;
    auto target = selectedAs<UltralightCard>(c);
    if (!target.card) return target.error;
    return finish(c, *target.card,
                  target.card->write(r.data[0], std::span<const std::uint8_t, 4>(r.data.data() + 1, 4)));
}

// The reader runs the 3DES mutual authentication with the card using the 16
// bytes it was given. The model skips the exchange itself and accepts exactly
// when those bytes are the card's key, which is the outcome of the exchange.
std::optional<Answer> ultralightCAuth(const Request& r, Context& c) {
    if (!hasLength(r, 16)) return Status::BadLength;
    auto target = selectedAs<UltralightCard>(c);
    if (!target.card) return target.error;
    return finish(c, *target.card,
                  target.card->authenticate(std::span<const std::uint8_t, 16>(r.data.data(), 16)));
}

// --- Scenario kinds.

std::unique_ptr<Card> makeClassic(ClassicCard::Model model, const Members& given) {
    if (auto copy = readDump(given, varrok::dump::Family::Classic))
        return classicFromDump(model, given, std::move(*copy));
    given.allowOnly({"uid", "manufacturer", "blocks"});
    const Bytes uid = given.hex("uid");
    if (uid.size() != 4 && uid.size() != 7) throw ScenarioError("uid: a Classic UID has 4 or 7 bytes");
    Bytes manufacturer = given.optionalHex("manufacturer").value_or(Bytes{});
    const std::size_t makerSize = uid.size() == 4 ? 8 : 6;
    if (!manufacturer.empty() && manufacturer.size() != makerSize)
        throw ScenarioError("manufacturer: expected " + std::to_string(makerSize) + " bytes");
    auto card = std::make_unique<ClassicCard>(model, uid, manufacturer);
    given.numbered("blocks", [&card](std::size_t index, const Bytes& data) {
        if (index == 0) throw ScenarioError("block 0 is built from uid and manufacturer");
        if (index >= card->blockCount())
            throw ScenarioError("the card has blocks 0 to " + std::to_string(card->blockCount() - 1));
        if (data.size() != 16) throw ScenarioError("expected 16 bytes");
        classic::Block b{};
        std::copy(data.begin(), data.end(), b.begin());
        card->setBlock(index, b);
    });
    return card;
}

std::unique_ptr<Card> makeUltralight(UltralightCard::Model model, const Members& given) {
    if (const auto copy = readDump(given, varrok::dump::Family::Ultralight))
        return ultralightFromDump(model, given, *copy);
    const bool isC = model == UltralightCard::Model::UltralightC;
    if (isC)
        given.allowOnly({"uid", "pages", "key"});
    else
        given.allowOnly({"uid", "pages"});
    const Bytes uid = given.hex("uid");
    if (uid.size() != 7) throw ScenarioError("uid: an Ultralight UID has 7 bytes");
    auto card = std::make_unique<UltralightCard>(model, uid);
    given.numbered("pages", [&card, isC](std::size_t index, const Bytes& data) {
        if (index < ultralight::kLockPage) throw ScenarioError("pages 0 and 1 are built from uid");
        if (isC && index >= ultralight::kCKeyPage) throw ScenarioError("the key pages are set with \"key\"");
        if (index >= card->pageCount())
            throw ScenarioError("the card has pages 0 to " + std::to_string(card->pageCount() - 1));
        if (data.size() != 4) throw ScenarioError("expected 4 bytes");
        ultralight::Page page{data[0], data[1], data[2], data[3]};
        if (index == ultralight::kLockPage) {
            // The check byte and internal byte come from the chip.
            page[0] = card->page(index)[0];
            page[1] = card->page(index)[1];
        }
        card->setPage(index, page);
    });
    if (given.has("key")) card->setKey(given.fixedHex<16>("key"));
    return card;
}

} // namespace

void installTypeA(Dispatcher& d) {
    auto s = std::make_shared<TypeAState>();
    d.add(cmd::TypeARequest, request(s));
    d.add(cmd::TypeAAnticoll, anticoll(s));
    d.add(cmd::TypeASelect, selectUid(s));
    d.add(cmd::TypeAHalt, halt);
    d.add(cmd::TypeAGetCard, getCard(s));
    d.add(cmd::ClassicAuthStored, authWithStoredKey);
    d.add(cmd::ClassicAuth, authWithKey);
    d.add(cmd::CardRead, readBlock);
    d.add(cmd::CardWrite, writeBlock);
    d.add(cmd::PurseCreate, purse(5, purseCreate));
    d.add(cmd::PurseRead, purse(1, purseRead));
    d.add(cmd::PurseDecrement, purse(5, purseDecrement));
    d.add(cmd::PurseIncrement, purse(5, purseIncrement));
    d.add(cmd::PurseRestore, purse(1, purseRestore));
    d.add(cmd::PurseTransfer, purse(1, purseTransfer));
    d.add(cmd::TypeAReset, reset(s));
    d.add(cmd::UltralightWrite, ultralightWrite);
    d.add(cmd::UltralightCAuth, ultralightCAuth);
    d.add(cmd::TypeAAnticollLevel, anticollLevel(s));
    d.add(cmd::TypeASelectLevel, selectLevel(s));
    d.add(cmd::LoadKey, loadKey);
    d.add(cmd::ClassicMultiRead, multiRead);
    d.add(cmd::ClassicMultiWrite, multiWrite);
    d.add(cmd::TypeAAnticollSelect, anticollSelect(s));
}

void addTypeAKinds(CardKinds& kinds) {
    kinds.add(
        "classicmini", [](const Members& v) { return makeClassic(ClassicCard::Model::Mini, v); },
        "MIFARE Classic Mini: 5 sectors of 4 blocks");
    kinds.add(
        "classic1k", [](const Members& v) { return makeClassic(ClassicCard::Model::Classic1K, v); },
        "MIFARE Classic 1K: 16 sectors of 4 blocks");
    kinds.add(
        "classic4k", [](const Members& v) { return makeClassic(ClassicCard::Model::Classic4K, v); },
        "MIFARE Classic 4K: 32 sectors of 4 blocks and 8 of 16");
    kinds.add(
        "ultralight", [](const Members& v) { return makeUltralight(UltralightCard::Model::Ultralight, v); },
        "MIFARE Ultralight: 16 pages of 4 bytes");
    kinds.add(
        "ultralightc", [](const Members& v) { return makeUltralight(UltralightCard::Model::UltralightC, v); },
        "MIFARE Ultralight C: 48 pages, 3DES key");
}

} // namespace sim

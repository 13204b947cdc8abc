#include "simulator/commands/plus_commands.h"

#include <span>

#include "simulator/cards/mifare_plus.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace {

using Params = std::span<const std::uint8_t>;

std::uint16_t be16(Params p, std::size_t at) { return static_cast<std::uint16_t>(p[at] << 8 | p[at + 1]); }

std::int32_t le32(Params p, std::size_t at) {
    const std::uint32_t raw = std::uint32_t{p[at]} | std::uint32_t{p[at + 1]} << 8 |
                              std::uint32_t{p[at + 2]} << 16 | std::uint32_t{p[at + 3]} << 24;
    return static_cast<std::int32_t>(raw);
}

plus::KeyView keyAt(Params p, std::size_t at) { return plus::KeyView(p.data() + at, 16); }

// The card a MIFARE Plus command goes to, or why there is none. A selected
// card of another family does not understand the command (CardRefused, as
// the Type A family answers); without a selection a Plus card in the field
// is in the wrong state, and an empty field has no card.
struct Target {
    MifarePlusCard* card = nullptr;
    Status why = Status::NoCard;
};

Target selectedPlus(const Field& field) {
    Card* selected = field.selected();
    if (auto* card = dynamic_cast<MifarePlusCard*>(selected)) {
        if (!card->halted()) return {card, Status::Ok};
        card->endSessions();
        return {nullptr, Status::WrongCardState};
    }
    if (selected) return {nullptr, Status::CardRefused};
    return {nullptr, field.inRange<MifarePlusCard>().empty() ? Status::NoCard : Status::WrongCardState};
}

Answer answer(Status status, Bytes data = {}) {
    if (status != Status::Ok) return status;
    return Answer::ok(std::move(data));
}

Bytes le32Bytes(std::int32_t value) {
    const auto raw = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

// ---- MIFARE Plus commands ------------------------------------------------------

struct PlusCommand {
    std::uint8_t code;
    std::size_t length;
    Answer (*run)(MifarePlusCard&, Params);
};

const PlusCommand kPlusCommands[] = {
    {plus::CommitPerso, 0, [](MifarePlusCard& card, Params) -> Answer { return card.commitPerso(); }},
    {plus::SwitchLevel, 17,
     [](MifarePlusCard& card, Params p) -> Answer { return card.switchLevel(p[0], keyAt(p, 1)); }},
    {plus::BlockAuthentication, 19,
     [](MifarePlusCard& card, Params p) -> Answer {
         return card.authenticateBlock(p[0], be16(p, 1), keyAt(p, 3));
     }},
    {plus::Read, 3,
     [](MifarePlusCard& card, Params p) -> Answer {
         Bytes data;
         const Status s = card.readBlocks(be16(p, 0), p[2], data);
         return answer(s, std::move(data));
     }},
    {plus::PurseCreate, 6,
     [](MifarePlusCard& card, Params p) -> Answer { return card.createValue(be16(p, 0), le32(p, 2)); }},
    {plus::PurseRead, 2,
     [](MifarePlusCard& card, Params p) -> Answer {
         std::int32_t value = 0;
         const Status s = card.readValue(be16(p, 0), value);
         return answer(s, le32Bytes(value));
     }},
    {plus::PurseIncrement, 6,
     [](MifarePlusCard& card, Params p) -> Answer { return card.increment(be16(p, 0), le32(p, 2)); }},
    {plus::PurseDecrement, 6,
     [](MifarePlusCard& card, Params p) -> Answer { return card.decrement(be16(p, 0), le32(p, 2)); }},
    {plus::PurseBackup, 4,
     [](MifarePlusCard& card, Params p) -> Answer { return card.backup(be16(p, 0), be16(p, 2)); }},
    {plus::FirstAuthentication, 18,
     [](MifarePlusCard& card, Params p) -> Answer {
         return card.firstAuthentication(be16(p, 0), keyAt(p, 2));
     }},
    {plus::FollowingAuthentication, 18,
     [](MifarePlusCard& card, Params p) -> Answer {
         return card.followingAuthentication(be16(p, 0), keyAt(p, 2));
     }},
};

Handler plusHandler(const PlusCommand& command) {
    return [&command](const Request& request, Context& context) -> std::optional<Answer> {
        if (!hasLength(request, command.length)) return Status::BadLength;
        const Target target = selectedPlus(context.field);
        if (!target.card) return target.why;
        return command.run(*target.card, request.data);
    };
}

// 0x70 with two bytes is the AT88RF080 request; every other length is ours.
std::optional<Answer> writePerso(const Request& request, Context& context) {
    if (hasLength(request, 2)) return std::nullopt;
    if (!hasLength(request, 18)) return Status::BadLength;
    const Target target = selectedPlus(context.field);
    if (!target.card) return target.why;
    const Params p = request.data;
    return Answer(target.card->writePerso(be16(p, 0), std::span<const std::uint8_t, 16>(p.data() + 2, 16)));
}

std::optional<Answer> writeBlocks(const Request& request, Context& context) {
    const Params p = request.data;
    if (p.size() < 3 || p.size() != 3 + std::size_t{p[2]} * 16) return Status::BadLength;
    const Target target = selectedPlus(context.field);
    if (!target.card) return target.why;
    return Answer(target.card->writeBlocks(be16(p, 0), p[2], p.subspan(3)));
}

// ---- level 1: the Classic commands ----------------------------------------------

// The selected Plus card, ready for a Classic command, or the answer that
// stands in its place: nullopt when no Plus card is selected, so the Type A
// family's handlers answer for their own cards (and for an empty field).
struct LevelOne {
    ClassicCard* engine = nullptr;
    MifarePlusCard* card = nullptr;
    std::optional<Answer> instead;
};

LevelOne levelOne(const Field& field) {
    auto* card = dynamic_cast<MifarePlusCard*>(field.selected());
    if (!card || card->halted()) return {nullptr, nullptr, std::nullopt};
    const int level = card->securityLevel();
    if (level != 1 && level != 2) return {nullptr, nullptr, Answer(Status::WrongCardState)};
    return {&card->classic(), card, std::nullopt};
}

// A refusal is the card's NAK: its session ends and the reader drops it.
Answer finish(Context& context, MifarePlusCard& card, Status status, Bytes data = {}) {
    if (status == Status::Ok) return Answer::ok(std::move(data));
    card.endSessions();
    if (context.field.selected() == &card) context.field.select(nullptr);
    return status;
}

struct ClassicCommand {
    std::uint8_t code;
    std::size_t length;
    Status (*run)(ClassicCard&, Params, Bytes& out);
};

std::optional<classic::KeyType> keyType(std::uint8_t mode) {
    if (mode == classic::kAuthKeyA) return classic::KeyType::A;
    if (mode == classic::kAuthKeyB) return classic::KeyType::B;
    return std::nullopt;
}

Status transferred(ClassicCard& engine, std::uint8_t block, Status loaded) {
    return loaded == Status::Ok ? engine.transfer(block) : loaded;
}

const ClassicCommand kClassicCommands[] = {
    {0x12, 8,
     [](ClassicCard& engine, Params p, Bytes&) -> Status {
         return engine.authenticate(*keyType(p[0]), p[1], std::span<const std::uint8_t, 6>(p.data() + 2, 6));
     }},
    {0x13, 1,
     [](ClassicCard& engine, Params p, Bytes& out) -> Status {
         classic::Block block{};
         const Status s = engine.read(p[0], block);
         out.assign(block.begin(), block.end());
         return s;
     }},
    {0x14, 17,
     [](ClassicCard& engine, Params p, Bytes&) -> Status {
         classic::Block block{};
         std::copy(p.begin() + 1, p.end(), block.begin());
         return engine.write(p[0], block);
     }},
    {0x15, 5,
     [](ClassicCard& engine, Params p, Bytes&) -> Status { return engine.createValue(p[0], le32(p, 1)); }},
    {0x16, 1,
     [](ClassicCard& engine, Params p, Bytes& out) -> Status {
         std::int32_t value = 0;
         const Status s = engine.readValue(p[0], value);
         out = le32Bytes(value);
         return s;
     }},
    {0x17, 5,
     [](ClassicCard& engine, Params p, Bytes&) -> Status {
         return transferred(engine, p[0], engine.decrement(p[0], le32(p, 1)));
     }},
    {0x18, 5,
     [](ClassicCard& engine, Params p, Bytes&) -> Status {
         return transferred(engine, p[0], engine.increment(p[0], le32(p, 1)));
     }},
    {0x19, 1, [](ClassicCard& engine, Params p, Bytes&) -> Status { return engine.restore(p[0]); }},
    {0x1A, 1, [](ClassicCard& engine, Params p, Bytes&) -> Status { return engine.transfer(p[0]); }},
    {0x88, 2,
     [](ClassicCard& engine, Params p, Bytes& out) -> Status {
         for (unsigned b = p[0]; b < unsigned{p[0]} + p[1]; ++b) {
             if (b > 0xFF) return Status::CardAddressInvalid;
             classic::Block block{};
             if (const Status s = engine.read(static_cast<std::uint8_t>(b), block); s != Status::Ok) return s;
             out.insert(out.end(), block.begin(), block.end());
         }
         return Status::Ok;
     }},
};

// The highest block a Classic request touches, for the 2K card's shorter memory.
unsigned lastBlock(std::uint8_t code, Params p) {
    if (code == 0x12) return p[1];
    if (code == 0x88) return unsigned{p[0]} + p[1] - 1;
    return p[0];
}

// Requests the card never sees: the reader refuses them itself.
bool malformed(std::uint8_t code, Params p) {
    if (code == 0x12) return !keyType(p[0]);
    if (code == 0x88) return p[1] == 0 || p[1] > plus::kMaxReadBlocks;
    return false;
}

Handler classicHandler(const ClassicCommand& command) {
    return [&command](const Request& request, Context& context) -> std::optional<Answer> {
        const LevelOne one = levelOne(context.field);
        if (!one.card) return one.instead;
        if (!hasLength(request, command.length)) return Status::BadLength;
        const Params p = request.data;
        if (malformed(command.code, p)) return Status::BadParameter;
        if (lastBlock(command.code, p) >= one.card->blockCount())
            return finish(context, *one.card, Status::CardAddressInvalid);
        if (command.code == 0x12)
            if (const Status s = one.card->crypto1Access(p[1]); s != Status::Ok)
                return finish(context, *one.card, s);
        Bytes out;
        const Status status = command.run(*one.engine, p, out);
        return finish(context, *one.card, status, std::move(out));
    };
}

// Authentication with a key of the reader's store (0x11: mode, block, slot).
std::optional<Answer> classicStoredKeyAuth(const Request& request, Context& context) {
    const LevelOne one = levelOne(context.field);
    if (!one.card) return one.instead;
    if (!hasLength(request, 3)) return Status::BadLength;
    const Params p = request.data;
    const auto type = keyType(p[0]);
    if (!type || p[2] >= context.reader.keyStore.size()) return Status::BadParameter;
    if (p[1] >= one.card->blockCount()) return finish(context, *one.card, Status::CardAddressInvalid);
    if (const Status s = one.card->crypto1Access(p[1]); s != Status::Ok) return finish(context, *one.card, s);
    return finish(context, *one.card, one.engine->authenticate(*type, p[1], context.reader.keyStore[p[2]]));
}

// 0x89 is shared with the ST multi-block writes: only 16-byte blocks for a
// selected Plus card are ours.
std::optional<Answer> classicMultiWrite(const Request& request, Context& context) {
    const Params p = request.data;
    if (p.size() < 2 || p.size() != 2 + std::size_t{p[1]} * 16) return std::nullopt;
    const LevelOne one = levelOne(context.field);
    if (!one.card) return one.instead;
    if (p[1] == 0) return Status::BadParameter;
    for (unsigned i = 0; i < p[1]; ++i) {
        const unsigned block = p[0] + i;
        if (block >= one.card->blockCount()) return finish(context, *one.card, Status::CardAddressInvalid);
        classic::Block data{};
        std::copy_n(p.begin() + 2 + 16 * i, 16, data.begin());
        const Status s = one.engine->write(static_cast<std::uint8_t>(block), data);
        if (s != Status::Ok) return finish(context, *one.card, s);
    }
    return Answer::ok();
}

// ---- scenario kinds ---------------------------------------------------------------

std::unique_ptr<Card> makePlus(MifarePlusCard::Size size, const Members& card) {
    card.allowOnly({"uid", "level"});
    const Bytes uid = card.hex("uid");
    if (uid.size() != 4 && uid.size() != 7) throw ScenarioError("uid: expected 4 or 7 bytes");
    return std::make_unique<MifarePlusCard>(size, uid, static_cast<int>(card.integer("level", 0, 3, 0)));
}

} // namespace

void installMifarePlus(Dispatcher& dispatcher) {
    dispatcher.add(plus::WritePerso, writePerso);
    dispatcher.add(plus::Write, writeBlocks);
    for (const auto& command : kPlusCommands)
        dispatcher.add(command.code, plusHandler(command));
    for (const auto& command : kClassicCommands)
        dispatcher.add(command.code, classicHandler(command));
    dispatcher.add(0x11, classicStoredKeyAuth);
    dispatcher.add(0x89, classicMultiWrite);
}

void addPlusKinds(CardKinds& kinds) {
    kinds.add(
        "mifareplus2k", [](const Members& v) { return makePlus(MifarePlusCard::Size::TwoK, v); },
        "MIFARE Plus 2K, 32 sectors, security levels 0-3");
    kinds.add(
        "mifareplus4k", [](const Members& v) { return makePlus(MifarePlusCard::Size::FourK, v); },
        "MIFARE Plus 4K, 40 sectors, security levels 0-3");
}

} // namespace sim

#include "simulator/commands/vicinity_commands.h"

#include "simulator/commands/card_dumps.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "simulator/cards/icode1.h"
#include "simulator/cards/iso15693.h"

namespace sim {

namespace {

using namespace iso15693;
using Params = std::span<const std::uint8_t>;

constexpr std::size_t kUidSize = std::tuple_size_v<Uid15693>;
constexpr std::size_t kHeader = 1 + kUidSize; // flags, UID

Uid15693 uidAt(const Bytes& data, std::size_t offset) {
    Uid15693 uid{};
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), uid.size(), uid.begin());
    return uid;
}

// The tags a request with a flags byte reaches; see the header for the rules.
struct Hearers {
    std::vector<Iso15693Tag*> tags;
    Status none = Status::NoCard; // what to answer when tags is empty
};

Hearers hearers(const Field& field, std::uint8_t flags, const Uid15693& uid) {
    Hearers found;
    const bool addressed = flags & kAddressFlag, selectOnly = flags & kSelectFlag;
    if (addressed && selectOnly) {
        found.none = Status::BadParameter;
        return found;
    }
    for (Iso15693Tag* tag : field.inRange<Iso15693Tag>()) {
        const bool hears = addressed    ? tag->uid() == uid
                           : selectOnly ? tag->state() == Iso15693Tag::State::Selected
                                        : tag->hearsUnaddressed();
        if (hears) found.tags.push_back(tag);
    }
    return found;
}

// A command that reaches its tags by flags and UID. run gets the bytes after the UID.
struct TagCommand {
    std::uint8_t code;
    std::size_t parameters;
    Answer (*run)(Iso15693Tag&, std::uint8_t flags, Params);
};

// A read-style answer must fit one response frame.
bool fitsFrame(std::size_t count, std::size_t bytesPerBlock) {
    return count * bytesPerBlock <= kMaxResponseData;
}

Answer answer(Status status, Bytes data = {}) {
    if (status != Status::Ok) return status;
    return Answer::ok(std::move(data));
}

const TagCommand kTagCommands[] = {
    {vicinity::ResetToReady, 0,
     [](Iso15693Tag& tag, std::uint8_t, Params) -> Answer {
         tag.resetToReady();
         return Answer::ok();
     }},
    {vicinity::ReadBlocks, 2,
     [](Iso15693Tag& tag, std::uint8_t flags, Params p) -> Answer {
         const bool security = flags & kOptionFlag;
         if (!fitsFrame(p[1], kBlockSize + (security ? 1 : 0))) return Status::BadParameter;
         Bytes data;
         const Status s = tag.read(p[0], p[1], security, data);
         return answer(s, std::move(data));
     }},
    {vicinity::WriteBlock, 1 + kBlockSize,
     [](Iso15693Tag& tag, std::uint8_t, Params p) -> Answer { return tag.write(p[0], p.subspan(1)); }},
    {vicinity::LockBlock, 1,
     [](Iso15693Tag& tag, std::uint8_t, Params p) -> Answer { return tag.lock(p[0]); }},
    {vicinity::WriteAfi, 1,
     [](Iso15693Tag& tag, std::uint8_t, Params p) -> Answer { return tag.writeAfi(p[0]); }},
    {vicinity::LockAfi, 0, [](Iso15693Tag& tag, std::uint8_t, Params) -> Answer { return tag.lockAfi(); }},
    {vicinity::WriteDsfid, 1,
     [](Iso15693Tag& tag, std::uint8_t, Params p) -> Answer { return tag.writeDsfid(p[0]); }},
    {vicinity::LockDsfid, 0,
     [](Iso15693Tag& tag, std::uint8_t, Params) -> Answer { return tag.lockDsfid(); }},
    {vicinity::SystemInformation, 0,
     [](Iso15693Tag& tag, std::uint8_t, Params) -> Answer { return Answer::ok(tag.systemInformation()); }},
    {vicinity::BlockSecurity, 2,
     [](Iso15693Tag& tag, std::uint8_t, Params p) -> Answer {
         if (!fitsFrame(p[1], 1)) return Status::BadParameter;
         Bytes data;
         const Status s = tag.blockSecurity(p[0], p[1], data);
         return answer(s, std::move(data));
     }},
};

Handler tagHandler(const TagCommand& command) {
    return [&command](const Request& request, Context& context) -> std::optional<Answer> {
        if (!hasLength(request, kHeader + command.parameters)) return Status::BadLength;
        const std::uint8_t flags = request.data[0];
        const Hearers reached = hearers(context.field, flags, uidAt(request.data, 1));
        if (reached.tags.empty()) return Answer(reached.none);
        const Params params = Params(request.data).subspan(kHeader);
        // Every tag that heard it acts; the first one's answer is the one the reader receives.
        std::optional<Answer> first;
        for (Iso15693Tag* tag : reached.tags) {
            tag->heardFlags(flags);
            Answer a = command.run(*tag, flags, params);
            if (!first) first = std::move(a);
        }
        return first;
    };
}

Bytes inventoryRecord(const Iso15693Tag& tag) {
    Bytes record(1 + kUidSize);
    record[0] = tag.dsfid();
    std::copy(tag.uid().begin(), tag.uid().end(), record.begin() + 1);
    return record;
}

std::optional<Answer> inventory(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    for (Iso15693Tag* tag : context.field.inRange<Iso15693Tag>())
        if (tag->hearsUnaddressed()) return Answer::ok(inventoryRecord(*tag));
    return Status::NoCard;
}

std::optional<Answer> multiInventory(const Request& request, Context& context) {
    if (!hasLength(request, 2)) return Status::BadLength;
    const bool filter = request.data[0] & vicinity::kAfiFilter;
    const std::uint8_t afi = request.data[1];
    Bytes data{0};
    for (Iso15693Tag* tag : context.field.inRange<Iso15693Tag>()) {
        if (data[0] == vicinity::kMaxInventoried) break;
        if (!tag->hearsUnaddressed() || (filter && !tag->matchesAfi(afi))) continue;
        const Bytes record = inventoryRecord(*tag);
        data.insert(data.end(), record.begin(), record.end());
        ++data[0];
    }
    if (data[0] == 0) return Status::NoCard;
    return Answer::ok(std::move(data));
}

std::optional<Answer> stayQuiet(const Request& request, Context& context) {
    if (!hasLength(request, kUidSize)) return Status::BadLength;
    const Uid15693 uid = uidAt(request.data, 0);
    bool found = false;
    for (Iso15693Tag* tag : context.field.inRange<Iso15693Tag>())
        if (tag->uid() == uid) {
            tag->stayQuiet();
            found = true;
        }
    return found ? Answer::ok() : Answer(Status::NoCard);
}

std::optional<Answer> select(const Request& request, Context& context) {
    if (!hasLength(request, kUidSize)) return Status::BadLength;
    const Uid15693 uid = uidAt(request.data, 0);
    bool found = false;
    for (Iso15693Tag* tag : context.field.inRange<Iso15693Tag>()) {
        if (tag->uid() == uid) {
            tag->select();
            found = true;
        } else if (tag->state() == Iso15693Tag::State::Selected) {
            tag->resetToReady();
        }
    }
    return found ? Answer::ok() : Answer(Status::NoCard);
}

// --- ICODE1 -----------------------------------------------------------------

// The label the last request found, if it can still hear the reader.
Icode1Label* currentLabel(const Field& field, Status& error) {
    const auto labels = field.inRange<Icode1Label>();
    auto* label = dynamic_cast<Icode1Label*>(field.selected());
    if (label && !label->halted() && std::find(labels.begin(), labels.end(), label) != labels.end())
        return label;
    error = labels.empty() ? Status::NoCard : Status::WrongCardState;
    return nullptr;
}

std::optional<Answer> icode1Request(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    for (Icode1Label* label : context.field.inRange<Icode1Label>()) {
        if (label->halted()) continue;
        context.field.select(label);
        const auto serial = label->serial();
        return Answer::ok(Bytes(serial.begin(), serial.end()));
    }
    return Status::NoCard;
}

std::optional<Answer> icode1Read(const Request& request, Context& context) {
    if (!hasLength(request, 1)) return Status::BadLength;
    Status error = Status::NoCard;
    Icode1Label* label = currentLabel(context.field, error);
    if (!label) return error;
    Bytes data;
    const Status s = label->read(request.data[0], data);
    return answer(s, std::move(data));
}

std::optional<Answer> icode1Write(const Request& request, Context& context) {
    if (!hasLength(request, 1 + Icode1Label::kPageSize)) return Status::BadLength;
    Status error = Status::NoCard;
    Icode1Label* label = currentLabel(context.field, error);
    if (!label) return error;
    return Answer(label->write(request.data[0], Params(request.data).subspan(1)));
}

std::optional<Answer> icode1Halt(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    Status error = Status::NoCard;
    Icode1Label* label = currentLabel(context.field, error);
    if (!label) return error;
    label->halt();
    context.field.select(nullptr);
    return Answer::ok();
}

// --- scenario kinds -----------------------------------------------------------

std::unique_ptr<Card> makeIso15693(const Members& card) {
    const auto copy = readDump(card, varrok::dump::Family::Iso15693);
    card.allowOnly({"uid", "maker", "serial", "blocks", "icReference", "dsfid", "afi", "dsfidLocked",
                    "afiLocked", "data", "locked", "dump"});
    if (copy && (card.has("blocks") || card.has("data")))
        throw ScenarioError("dump: the dump gives the blocks; leave out \"blocks\" and \"data\"");
    if (copy && copy->blockSize != 4)
        throw ScenarioError("dump: " + std::to_string(copy->blockSize) +
                            "-byte blocks, but the simulated tag has 4-byte blocks");
    std::optional<Bytes> given = card.optionalHex("uid");
    if (copy && !copy->uid.empty()) {
        if (given && *given != copy->uid)
            throw ScenarioError("uid: the dump's tag has UID " + toHex(copy->uid) + ", not " + toHex(*given));
        given = copy->uid;
    }
    Uid15693 uid{};
    if (given) {
        if (card.has("maker") || card.has("serial"))
            throw ScenarioError("give either uid or maker and serial");
        if (given->size() != uid.size()) throw ScenarioError("uid: expected 8 bytes");
        std::copy(given->begin(), given->end(), uid.begin());
    } else {
        const auto maker = static_cast<std::uint8_t>(card.integer("maker", 0, 0xFF, kLabel28.maker));
        const auto& model = maker == kLabel28.maker ? kLabel28 : kTag64;
        const auto serial = static_cast<std::uint64_t>(card.integer("serial", 0, 0xFFFFFFFFFFLL, 1));
        uid = makeUid(maker, model.icId, serial);
    }
    const auto& model = uid[6] == kLabel28.maker ? kLabel28 : kTag64;
    const auto blocks = copy ? copy->blockCount()
                             : static_cast<std::size_t>(card.integer(
                                   "blocks", 1, kMaxBlocks, static_cast<std::int64_t>(model.blocks)));
    const auto icReference =
        static_cast<std::uint8_t>(card.integer("icReference", 0, 0xFF, model.icReference));

    auto tag = std::make_unique<Iso15693Tag>(uid, blocks, icReference);
    const std::uint8_t dsfid = copy ? copy->dsfid.value_or(0) : 0, afi = copy ? copy->afi.value_or(0) : 0;
    tag->preset(static_cast<std::uint8_t>(card.integer("dsfid", 0, 0xFF, dsfid)),
                static_cast<std::uint8_t>(card.integer("afi", 0, 0xFF, afi)),
                card.boolean("dsfidLocked", false), card.boolean("afiLocked", false));
    if (const auto data = copy ? std::optional<Bytes>(copy->memory) : card.optionalHex("data")) {
        try {
            tag->load(0, *data);
        } catch (const std::out_of_range&) {
            throw ScenarioError("data: expected whole 4-byte blocks, at most " + std::to_string(blocks));
        }
    }
    for (const std::int64_t block : card.integers("locked", 0, static_cast<std::int64_t>(blocks) - 1))
        tag->lockAtFactory(static_cast<std::size_t>(block));
    return tag;
}

std::unique_ptr<Card> makeIcode1(const Members& card) {
    card.allowOnly({"serial", "data"});
    const Bytes given = card.hex("serial");
    Icode1Label::Serial serial{};
    if (given.size() != serial.size()) throw ScenarioError("serial: expected 8 bytes");
    std::copy(given.begin(), given.end(), serial.begin());
    auto label = std::make_unique<Icode1Label>(serial);
    if (const auto data = card.optionalHex("data")) {
        try {
            label->load(Icode1Label::kSerialPages, *data);
        } catch (const std::out_of_range&) {
            throw ScenarioError("data: expected whole 4-byte pages, at most 30");
        }
    }
    return label;
}

} // namespace

void addVicinityKinds(CardKinds& kinds) {
    kinds.add("iso15693", makeIso15693, "ISO 15693 tag, 4-byte blocks (28 for maker 0x04, else 64)");
    kinds.add("icode1", makeIcode1, "ICODE1 label, 32 pages of 4 bytes");
}

void installVicinity(Dispatcher& dispatcher) {
    dispatcher.add(vicinity::Inventory, inventory);
    dispatcher.add(vicinity::MultiInventory, multiInventory);
    dispatcher.add(vicinity::StayQuiet, stayQuiet);
    dispatcher.add(vicinity::Select, select);
    for (const TagCommand& command : kTagCommands)
        dispatcher.add(command.code, tagHandler(command));

    dispatcher.add(vicinity::Icode1Request, icode1Request);
    dispatcher.add(vicinity::Icode1Read, icode1Read);
    dispatcher.add(vicinity::Icode1Write, icode1Write);
    dispatcher.add(vicinity::Icode1Halt, icode1Halt);
}

} // namespace sim

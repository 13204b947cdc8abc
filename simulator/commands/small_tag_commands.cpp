#include "simulator/commands/small_tag_commands.h"

#include <algorithm>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/st_tags.h"
#include "simulator/cards/ussen.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace {

using Params = std::span<const std::uint8_t>;
using namespace smalltags;

Answer answer(Status status, Bytes data = {}) {
    if (status != Status::Ok) return status;
    return Answer::ok(std::move(data));
}

bool fitsFrame(std::size_t count, std::size_t blockSize) { return count * blockSize <= kMaxResponseData; }

// ---- ST tags ---------------------------------------------------------------

// The selected ST tag of kind T, or why the command cannot reach one.
template <class T> struct Reached {
    T* tag = nullptr;
    Status why = Status::NoCard;
};

template <class T> Reached<T> selectedSt(const Field& field) {
    if (auto* tag = dynamic_cast<StTag*>(field.selected()); tag && !tag->completed()) {
        if (auto* typed = dynamic_cast<T*>(tag)) return {typed, Status::Ok};
        return {nullptr, Status::WrongCardState};
    }
    return {nullptr, field.inRange<StTag>().empty() ? Status::NoCard : Status::WrongCardState};
}

// An ST command: its code, request length and what it does to the selected tag.
template <class T> struct StCommand {
    std::uint8_t code;
    std::size_t length;
    Answer (*run)(T&, Params);
};

template <class T> Answer readBlocks(T& tag, std::uint8_t start, std::uint8_t count) {
    if (count == 0 || !fitsFrame(count, T::kBlockSize)) return Status::BadParameter;
    Bytes data;
    for (unsigned b = start; b < start + count; ++b) {
        if (b > 0xFF) return Status::CardAddressInvalid;
        Bytes block;
        if (const Status s = tag.readBlock(static_cast<std::uint8_t>(b), block); s != Status::Ok) return s;
        data.insert(data.end(), block.begin(), block.end());
    }
    return Answer::ok(std::move(data));
}

const StCommand<Sr176> kSr176Commands[] = {
    {Sr176Read, 1,
     [](Sr176& tag, Params p) -> Answer {
         Bytes data;
         const Status s = tag.readBlock(p[0], data);
         return answer(s, std::move(data));
     }},
    {Sr176Write, 1 + Sr176::kBlockSize,
     [](Sr176& tag, Params p) -> Answer { return tag.writeBlock(p[0], p.subspan(1)); }},
    {Sr176Protect, 1, [](Sr176& tag, Params p) -> Answer { return tag.protect(p[0]); }},
    {Sr176ProtectRegister, 0,
     [](Sr176& tag, Params) -> Answer { return Answer::ok({tag.protectRegister()}); }},
    {Sr176MultiRead, 2, [](Sr176& tag, Params p) -> Answer { return readBlocks(tag, p[0], p[1]); }},
};

const StCommand<Srix4k> kSrixCommands[] = {
    {SrixRead, 1,
     [](Srix4k& tag, Params p) -> Answer {
         Bytes data;
         const Status s = tag.readBlock(p[0], data);
         return answer(s, std::move(data));
     }},
    {SrixWrite, 1 + Srix4k::kBlockSize,
     [](Srix4k& tag, Params p) -> Answer { return tag.writeBlock(p[0], p.subspan(1)); }},
    {SrixAuthenticate, 6,
     [](Srix4k& tag, Params p) -> Answer {
         const auto reply = tag.authenticate(p.first<6>());
         return Answer::ok(Bytes(reply.begin(), reply.end()));
     }},
    {SrixUid, 0,
     [](Srix4k& tag, Params) -> Answer { return Answer::ok(Bytes(tag.uid().begin(), tag.uid().end())); }},
    {SrixWriteLockRegister, 1,
     [](Srix4k& tag, Params p) -> Answer {
         tag.writeLockRegister(p[0]);
         return Answer::ok();
     }},
    {SrixMultiRead, 2, [](Srix4k& tag, Params p) -> Answer { return readBlocks(tag, p[0], p[1]); }},
};

template <class T> Handler stHandler(const StCommand<T>& command) {
    return [&command](const Request& request, Context& context) -> std::optional<Answer> {
        if (!hasLength(request, command.length)) return Status::BadLength;
        const Reached<T> reached = selectedSt<T>(context.field);
        if (!reached.tag) return reached.why;
        return command.run(*reached.tag, request.data);
    };
}

std::optional<Answer> stSelect(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    for (StTag* tag : context.field.inRange<StTag>()) {
        if (tag->completed()) continue;
        const std::uint8_t chipId = tag->initiate();
        context.field.select(tag);
        return Answer::ok({chipId});
    }
    return Status::NoCard;
}

std::optional<Answer> stCompletion(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    const Reached<StTag> reached = selectedSt<StTag>(context.field);
    if (!reached.tag) return reached.why;
    reached.tag->complete();
    context.field.select(nullptr);
    return Answer::ok();
}

// 0x89 belongs to whichever family holds the reader's attention: an ST tag
// only when one is selected and the request is shaped for its block size.
std::optional<Answer> stMultiWrite(const Request& request, Context& context) {
    const Reached<StTag> reached = selectedSt<StTag>(context.field);
    if (!reached.tag || request.data.size() < 2) return std::nullopt;
    StTag& tag = *reached.tag;
    const std::uint8_t start = request.data[0], count = request.data[1];
    if (request.data.size() != 2 + std::size_t{count} * tag.blockSize()) return std::nullopt;
    if (count == 0) return Status::BadParameter;
    const Params blocks = Params(request.data).subspan(2);
    for (unsigned i = 0; i < count; ++i) {
        if (start + i > 0xFF) return Status::CardAddressInvalid;
        const Status s = tag.writeBlock(static_cast<std::uint8_t>(start + i),
                                        blocks.subspan(i * tag.blockSize(), tag.blockSize()));
        if (s != Status::Ok) return s;
    }
    return Answer::ok();
}

// ---- AT88RF020 -------------------------------------------------------------

At88rf020* at88Tag(const Field& field) {
    if (auto* tag = dynamic_cast<At88rf020*>(field.selected()); tag && !tag->halted()) return tag;
    for (At88rf020* tag : field.inRange<At88rf020>())
        if (!tag->halted()) return tag;
    return nullptr;
}

struct At88Command {
    std::uint8_t code;
    std::size_t length;
    Answer (*run)(At88rf020&, Params);
};

Answer at88ReadPages(At88rf020& tag, std::uint8_t start, std::uint8_t count) {
    if (count == 0 || !fitsFrame(count, At88rf020::kPageSize)) return Status::BadParameter;
    Bytes data;
    for (unsigned p = start; p < start + count; ++p) {
        Bytes page;
        if (p > 0xFF) return Status::CardAddressInvalid;
        if (const Status s = tag.readPage(static_cast<std::uint8_t>(p), page); s != Status::Ok) return s;
        data.insert(data.end(), page.begin(), page.end());
    }
    return Answer::ok(std::move(data));
}

const At88Command kAt88Commands[] = {
    {At88Check, At88rf020::kPageSize, [](At88rf020& tag, Params p) -> Answer { return tag.check(p); }},
    {At88Read, 1, [](At88rf020& tag, Params p) -> Answer { return at88ReadPages(tag, p[0], 1); }},
    {At88Write, 1 + At88rf020::kPageSize,
     [](At88rf020& tag, Params p) -> Answer { return tag.writePage(p[0], p.subspan(1)); }},
    {At88Lock, At88rf020::kLockBytes, [](At88rf020& tag, Params p) -> Answer { return tag.lock(p); }},
    {At88Count, At88rf020::kSignatureBytes, [](At88rf020& tag, Params p) -> Answer { return tag.count(p); }},
    {At88Deselect, 0,
     [](At88rf020& tag, Params) -> Answer {
         tag.deselect();
         return Answer::ok();
     }},
    {At88MultiRead, 2, [](At88rf020& tag, Params p) -> Answer { return at88ReadPages(tag, p[0], p[1]); }},
};

Handler at88Handler(const At88Command& command) {
    return [&command](const Request& request, Context& context) -> std::optional<Answer> {
        if (!hasLength(request, command.length)) return Status::BadLength;
        At88rf020* tag = at88Tag(context.field);
        if (!tag) return Status::NoCard;
        return command.run(*tag, request.data);
    };
}

std::optional<Answer> at88MultiWrite(const Request& request, Context& context) {
    const Bytes& d = request.data;
    if (d.size() < 2 || d.size() != 2 + std::size_t{d[1]} * At88rf020::kPageSize) return Status::BadLength;
    At88rf020* tag = at88Tag(context.field);
    if (!tag) return Status::NoCard;
    if (d[1] == 0) return Status::BadParameter;
    const Params pages = Params(d).subspan(2);
    for (unsigned i = 0; i < d[1]; ++i) {
        if (d[0] + i > 0xFF) return Status::CardAddressInvalid;
        const Status s = tag->writePage(static_cast<std::uint8_t>(d[0] + i),
                                        pages.subspan(i * At88rf020::kPageSize, At88rf020::kPageSize));
        if (s != Status::Ok) return s;
    }
    return Answer::ok();
}

// The AT88RF080 request shares its code with the MIFARE Plus personalisation
// write; only the two-byte form is ours.
std::optional<Answer> at88Request(const Request& request, Context& context) {
    if (!hasLength(request, 2)) return std::nullopt;
    const std::uint8_t mode = request.data[0], afi = request.data[1];
    if (mode > 1) return Status::BadParameter;
    for (At88rf020* tag : context.field.inRange<At88rf020>()) {
        std::optional<Bytes> answer = tag->request080(mode == 1, afi);
        if (!answer) continue;
        context.field.select(tag);
        return Answer::ok(std::move(*answer));
    }
    return Status::NoCard;
}

// ---- USSEN -----------------------------------------------------------------

UssenCard* findUssen(const Field& field, std::uint8_t mode, std::uint32_t applicationId) {
    for (UssenCard* card : field.inRange<UssenCard>()) {
        if (card->halted() && mode != 0x52) continue;
        if (applicationId != 0 && applicationId != card->applicationId()) continue;
        return card;
    }
    return nullptr;
}

Answer ussenGetCard(const Params p, Context& context) {
    if (p.size() != 1) return Status::BadLength;
    if (p[0] != 0x26 && p[0] != 0x52) return Status::BadParameter;
    UssenCard* card = findUssen(context.field, p[0], 0);
    if (!card) return Status::NoCard;
    card->setHalted(false);
    context.field.select(card);
    return Answer::ok(card->cardInfo());
}

Answer ussenGetCardWithParameters(const Params p, Context& context) {
    if (p.size() != 8) return Status::BadLength;
    if (p[0] != 0x26 && p[0] != 0x52) return Status::BadParameter;
    const std::uint32_t applicationId = p[1] | p[2] << 8 | p[3] << 16;
    const std::uint8_t offset = p[4], length = p[5];
    UssenCard* card = findUssen(context.field, p[0], applicationId);
    if (!card) return Status::NoCard;
    Bytes data = card->cardInfo();
    if (data.size() + length > kMaxResponseData) return Status::BadParameter;
    Bytes memory;
    if (const Status s = card->readMemory(offset, length, memory); s != Status::Ok) return s;
    data.insert(data.end(), memory.begin(), memory.end());
    card->setHalted(false);
    context.field.select(card);
    return Answer::ok(std::move(data));
}

// The card the get card commands selected, or why there is none.
Reached<UssenCard> selectedUssen(const Field& field) {
    if (auto* card = dynamic_cast<UssenCard*>(field.selected()); card && !card->halted())
        return {card, Status::Ok};
    return {nullptr, field.inRange<UssenCard>().empty() ? Status::NoCard : Status::WrongCardState};
}

Answer ussenWriteMemory(const Params p, Context& context) {
    if (p.empty() || p.size() != 1 + std::size_t{p[0]}) return Status::BadLength;
    const Reached<UssenCard> reached = selectedUssen(context.field);
    if (!reached.tag) return reached.why;
    return reached.tag->writeMemory(0, p.subspan(1));
}

Answer ussenReadMemory(const Params p, Context& context) {
    if (p.size() != 1) return Status::BadLength;
    const Reached<UssenCard> reached = selectedUssen(context.field);
    if (!reached.tag) return reached.why;
    if (!fitsFrame(p[0], 1)) return Status::BadParameter;
    Bytes data;
    const Status s = reached.tag->readMemory(0, p[0], data);
    return answer(s, std::move(data));
}

std::optional<Answer> ussen(const Request& request, Context& context) {
    if (request.data.empty()) return Status::BadLength;
    const Params rest = Params(request.data).subspan(1);
    switch (request.data[0]) {
    case UssenGetCard:
        return ussenGetCard(rest, context);
    case UssenGetCardWithParameters:
        return ussenGetCardWithParameters(rest, context);
    case UssenWriteMemory:
        return ussenWriteMemory(rest, context);
    case UssenReadMemory:
        return ussenReadMemory(rest, context);
    default:
        return Status::BadParameter;
    }
}

// ---- scenario kinds --------------------------------------------------------

// A member such as "blocks": {"4": "0102"}: each entry's number and its N
// bytes go to store, which refuses the numbers it has no place for.
template <std::size_t N>
void numberedData(const Members& card, std::string_view key, const std::string& places,
                  const std::function<bool(std::size_t, const std::array<std::uint8_t, N>&)>& store) {
    card.numbered(key, [&](std::size_t index, const Bytes& data) {
        if (data.size() != N) throw ScenarioError("expected " + std::to_string(N) + " bytes");
        std::array<std::uint8_t, N> bytes{};
        std::copy(data.begin(), data.end(), bytes.begin());
        if (index > 0xFF || !store(index, bytes)) throw ScenarioError("only " + places + " can be given");
    });
}

} // namespace

void installSmallTags(Dispatcher& dispatcher) {
    dispatcher.add(StSelect, stSelect);
    dispatcher.add(StCompletion, stCompletion);
    for (const auto& command : kSr176Commands)
        dispatcher.add(command.code, stHandler(command));
    for (const auto& command : kSrixCommands)
        dispatcher.add(command.code, stHandler(command));
    dispatcher.add(StMultiWrite, stMultiWrite);

    for (const auto& command : kAt88Commands)
        dispatcher.add(command.code, at88Handler(command));
    dispatcher.add(At88MultiWrite, at88MultiWrite);
    dispatcher.add(At88Request, at88Request);

    dispatcher.add(Ussen, ussen);
}

void addSmallTagKinds(CardKinds& kinds) {
    kinds.add(
        "sr176",
        [](const Members& card) -> std::unique_ptr<Card> {
            card.allowOnly({"uid", "chip_id", "blocks"});
            auto tag = std::make_unique<Sr176>(card.fixedHex<8>("uid"),
                                               static_cast<std::uint8_t>(card.integer("chip_id", 0, 15, 0)));
            numberedData<Sr176::kBlockSize>(
                card, "blocks", "the user blocks 4 to 14", [&tag](std::size_t block, const auto& data) {
                    return tag->setUserBlock(static_cast<std::uint8_t>(block), data);
                });
            return tag;
        },
        "ST SR176, 16 blocks of 2 bytes");
    kinds.add(
        "srix4k",
        [](const Members& card) -> std::unique_ptr<Card> {
            card.allowOnly({"serial", "secret", "blocks"});
            const auto serial =
                static_cast<std::uint64_t>(card.integer("serial", 0, (std::int64_t{1} << 42) - 1, 1));
            auto tag = card.has("secret")
                           ? std::make_unique<Srix4k>(
                                 serial, static_cast<std::uint32_t>(card.integer("secret", 0, 0xFFFFFFFF, 0)))
                           : std::make_unique<Srix4k>(serial);
            numberedData<Srix4k::kBlockSize>(card, "blocks", "blocks 0 to 127",
                                             [&tag](std::size_t block, const auto& data) {
                                                 return tag->setBlock(static_cast<std::uint8_t>(block), data);
                                             });
            return tag;
        },
        "ST SRIX4K, 128 blocks of 4 bytes");
    kinds.add(
        "at88rf020",
        [](const Members& card) -> std::unique_ptr<Card> {
            card.allowOnly({"pupi", "password", "application", "afi", "pages"});
            auto tag = std::make_unique<At88rf020>(card.fixedHex<4>("pupi"), card.fixedHex<8>("password", {}),
                                                   card.fixedHex<4>("application", {}),
                                                   static_cast<std::uint8_t>(card.integer("afi", 0, 255, 0)));
            numberedData<At88rf020::kPageSize>(
                card, "pages", "page 1 and pages 4 to 31", [&tag](std::size_t page, const auto& data) {
                    return tag->setDataPage(static_cast<std::uint8_t>(page), data);
                });
            return tag;
        },
        "AT88RF020, 32 pages of 8 bytes");
    kinds.add(
        "ussen",
        [](const Members& card) -> std::unique_ptr<Card> {
            card.allowOnly({"uid", "application_id", "memory"});
            const Bytes uid = card.hex("uid");
            if (uid.size() != 4 && uid.size() != 7) throw ScenarioError("uid: expected 4 or 7 bytes");
            return std::make_unique<UssenCard>(
                uid, static_cast<std::uint32_t>(card.integer("application_id", 0, 0xFFFFFF, 0)),
                static_cast<std::size_t>(card.integer("memory", 1, 1024, UssenCard::kDefaultMemory)));
        },
        "USSEN card with 128 bytes of memory");
}

} // namespace sim

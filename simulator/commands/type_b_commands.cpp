#include "simulator/commands/type_b_commands.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "simulator/cards/at88rf020.h"
#include "simulator/cards/id_card.h"
#include "simulator/cards/iso14443_4.h"
#include "simulator/cards/type_b.h"

namespace sim {

namespace {

constexpr std::uint8_t kNoCid = 0x0F; // CID 15 is reserved

bool hears(const Field& field, const Card* card) {
    const auto cards = field.inRange();
    return card && std::find(cards.begin(), cards.end(), card) != cards.end();
}

// The card the reader talks to: selected, still in range and awake.
Card* activeCard(Context& context) {
    Card* card = context.field.selected();
    if (!hears(context.field, card) || card->halted()) return nullptr;
    return card;
}

TypeBCard::Pupi pupiFrom(const Bytes& data) { return {data[0], data[1], data[2], data[3]}; }

// ---- Type B ----------------------------------------------------------------

// An AT88RF020 tag answers REQB as well, with an answer of its own kind:
// awake tags answer, WUPB wakes sleeping ones. Its own family matches the AFI
// in its other request (0x70); here every tag answers whatever the AFI.
std::optional<Bytes> requestAt88(At88rf020& tag, bool wakeUp) {
    if (tag.halted() && !wakeUp) return std::nullopt;
    tag.setHalted(false);
    return tag.atqb();
}

Answer requestB(Context& context, bool wakeUp, std::uint8_t afi) {
    // Every card that answers becomes READY; the reader's slot scheme hands the
    // host the first ATQB.
    std::optional<Bytes> first;
    for (Card* card : context.field.inRange()) {
        std::optional<Bytes> atqb;
        if (auto* typeB = dynamic_cast<TypeBCard*>(card))
            atqb = typeB->request(wakeUp, afi);
        else if (auto* tag = dynamic_cast<At88rf020*>(card))
            atqb = requestAt88(*tag, wakeUp);
        if (atqb && !first) first = std::move(atqb);
    }
    if (!first) return Status::NoCard;
    return Answer::ok(std::move(*first));
}

std::optional<Answer> request(const Request& request, Context& context) {
    if (!hasLength(request, 1)) return Status::BadLength;
    if (request.data[0] > 1) return Status::BadParameter;
    return requestB(context, request.data[0] == 1, 0x00);
}

std::optional<Answer> getCard(const Request& request, Context& context) {
    if (!hasLength(request, 3)) return Status::BadLength;
    if (request.data[0] > 1) return Status::BadParameter;
    return requestB(context, request.data[0] == 1, request.data[1]);
}

std::optional<Answer> attrib(const Request& request, Context& context) {
    if (!hasLength(request, 5)) return Status::BadLength;
    const std::uint8_t cid = request.data[4] & 0x0F;
    if (cid == kNoCid) return Status::BadParameter;
    const TypeBCard::Pupi pupi = pupiFrom(request.data);
    for (TypeBCard* card : context.field.inRange<TypeBCard>()) {
        if (std::optional<Bytes> answer = card->attrib(pupi, cid)) {
            context.field.select(card);
            return Answer::ok(std::move(*answer));
        }
    }
    return Status::NoCard;
}

std::optional<Answer> halt(const Request& request, Context& context) {
    if (!hasLength(request, 4)) return Status::BadLength;
    const TypeBCard::Pupi pupi = pupiFrom(request.data);
    for (TypeBCard* card : context.field.inRange<TypeBCard>()) {
        if (card->halt(pupi)) {
            if (context.field.selected() == card) context.field.select(nullptr);
            return Answer::ok();
        }
    }
    return Status::NoCard;
}

// ---- ISO 14443-4 -------------------------------------------------------------

std::optional<Answer> rats(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    auto* card = dynamic_cast<TypeACard*>(activeCard(context));
    if (!card) return Status::NoCard;
    if (auto* smartCard = dynamic_cast<Iso14443_4ACard*>(card)) {
        std::optional<Bytes> ats = smartCard->rats();
        if (!ats) return Status::WrongCardState;
        return Answer::ok(std::move(*ats));
    }
    // Other families keep their own ISO 14443-4 state; a card without an ATS
    // does not know RATS.
    Bytes ats = card->ats();
    if (ats.empty()) return Status::CardRefused;
    return Answer::ok(std::move(ats));
}

// The prologue of a ready-made I-block at the start of a request.
struct Block {
    Bytes prologue;                  // PCB, and CID when there is one; empty for a bare APDU
    std::optional<std::uint8_t> cid; // set when the block carries a CID
    Bytes apdu;
};

Block unwrap(const Bytes& data) {
    const std::uint8_t pcb = data.empty() ? 0 : data[0];
    std::size_t prologue = 0;
    Block block;
    if (pcb == 0x02 || pcb == 0x03) {
        prologue = 1;
    } else if ((pcb == 0x0A || pcb == 0x0B) && data.size() >= 2) {
        prologue = 2;
        block.cid = data[1] & 0x0F;
    }
    block.prologue.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(prologue));
    block.apdu.assign(data.begin() + static_cast<std::ptrdiff_t>(prologue), data.end());
    return block;
}

// A host that found a Type B card with its request goes straight on to APDUs:
// with nothing activated, the reader sends ATTRIB (CID 0) to the ISO 14443-4
// card that answered, as it sends RATS for a Type A card.
Card* attribFoundCard(Context& context) {
    for (auto* card : context.field.inRange<Iso14443_4BCard>()) {
        if (card->state() != TypeBCard::State::Ready || !card->attrib(card->pupi(), 0)) continue;
        context.field.select(card);
        return card;
    }
    return nullptr;
}

Answer exchange(Context& context, const Block& block) {
    if (block.apdu.empty()) return Status::BadLength;
    Card* card = activeCard(context);
    if (!card) card = attribFoundCard(context);
    if (!card) return Status::NoCard;
    std::optional<Bytes> answer;
    // The reader's Type A reset (0x1B) runs RATS as well, out of this
    // family's sight: a selected ISO 14443-4 Type A card that is not
    // activated yet gets its RATS from the reader now.
    if (auto* typeA = dynamic_cast<Iso14443_4ACard*>(card); typeA && !typeA->layer4().active()) typeA->rats();
    if (auto* smartCard = dynamic_cast<Layer4Card*>(card)) {
        Layer4& layer4 = smartCard->layer4();
        if (!layer4.active()) return Status::NoCard;
        // A card ignores blocks meant for another CID.
        if (!block.prologue.empty() && block.cid.value_or(0) != layer4.cid()) return Status::NoCard;
        answer = layer4.exchange(block.apdu);
    } else if (auto* typeA = dynamic_cast<TypeACard*>(card)) {
        answer = typeA->apdu(block.apdu);
    }
    if (!answer) return Status::WrongCardState;
    Bytes data = block.prologue;
    data.insert(data.end(), answer->begin(), answer->end());
    return Answer::ok(std::move(data));
}

std::optional<Answer> apdu(const Request& request, Context& context) {
    if (request.data.empty()) return Status::BadLength;
    return exchange(context, unwrap(request.data));
}

std::optional<Answer> deselect(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    Card* card = activeCard(context);
    if (auto* smartCard = dynamic_cast<Layer4Card*>(card); smartCard && smartCard->layer4().active()) {
        smartCard->deselect();
    } else if (auto* typeA = dynamic_cast<TypeACard*>(card);
               typeA && !dynamic_cast<Layer4Card*>(card) && !typeA->ats().empty()) {
        typeA->setHalted(true);
    } else {
        return Status::NoCard;
    }
    context.field.select(nullptr);
    return Answer::ok();
}

// ---- ID card -----------------------------------------------------------------

std::optional<Answer> idCardRequest(const Request& request, Context& context) {
    if (!hasLength(request, 0)) return Status::BadLength;
    if (context.field.inRange<IdCard>().empty()) return Status::NoCard;
    context.field.setAntenna(false);
    context.field.setAntenna(true);
    IdCard* card = context.field.inRange<IdCard>().front();
    if (!card->request(true, 0x00) || !card->attrib(card->pupi(), 0)) return Status::NoCard;
    context.field.select(card);
    const std::optional<Bytes> answer = card->layer4().exchange(IdCard::getIdCommand());
    if (!answer || statusWordOf(*answer) != sw::Ok || answer->size() != card->id().size() + 2)
        return Status::CardRefused;
    return Answer::ok(Bytes(answer->begin(), answer->end() - 2));
}

std::optional<Answer> idCardCommand(const Request& request, Context& context) {
    if (request.data.empty()) return Status::BadLength;
    return exchange(context, Block{{}, std::nullopt, request.data});
}

// ---- SAM slots -----------------------------------------------------------------

void installSamSlots(Dispatcher& dispatcher, const std::shared_ptr<SamSlots>& slots) {
    for (std::uint8_t i = 0; i < 4; ++i) {
        const std::uint8_t slot = i + 1;
        dispatcher.add(typeb_cmd::SamBaud[i],
                       [slots, slot](const Request& r, Context&) -> std::optional<Answer> {
                           if (!hasLength(r, 1)) return Status::BadLength;
                           return slots->setBaud(slot, r.data[0]);
                       });
        dispatcher.add(typeb_cmd::SamReset[i],
                       [slots, slot](const Request& r, Context&) -> std::optional<Answer> {
                           // Slot 4's reset code also sets a slot's protocol, with two bytes.
                           if (slot == 4 && hasLength(r, 2)) return slots->setProtocol(r.data[0], r.data[1]);
                           if (!hasLength(r, 0)) return Status::BadLength;
                           return slots->reset(slot);
                       });
        dispatcher.add(typeb_cmd::SamApdu[i],
                       [slots, slot](const Request& r, Context&) -> std::optional<Answer> {
                           if (r.data.empty()) return Status::BadLength;
                           return slots->apdu(slot, r.data);
                       });
        dispatcher.add(typeb_cmd::SamPps[i],
                       [slots, slot](const Request& r, Context&) -> std::optional<Answer> {
                           if (!hasLength(r, 1)) return Status::BadLength;
                           return slots->pps(slot, r.data[0]);
                       });
    }
    dispatcher.add(typeb_cmd::SamBaudAnySlot, [slots](const Request& r, Context&) -> std::optional<Answer> {
        if (!hasLength(r, 2)) return Status::BadLength;
        return slots->setBaud(r.data[0], r.data[1]);
    });
    dispatcher.add(typeb_cmd::SamResetAnySlot, [slots](const Request& r, Context&) -> std::optional<Answer> {
        if (!hasLength(r, 1)) return Status::BadLength;
        return slots->reset(r.data[0]);
    });
    dispatcher.add(typeb_cmd::SamPpsAnySlot, [slots](const Request& r, Context&) -> std::optional<Answer> {
        if (!hasLength(r, 2)) return Status::BadLength;
        return slots->pps(r.data[0], r.data[1]);
    });
    dispatcher.add(typeb_cmd::SamApduAnySlot, [slots](const Request& r, Context&) -> std::optional<Answer> {
        if (r.data.size() < 2) return Status::BadLength;
        return slots->apdu(r.data[0], Bytes(r.data.begin() + 1, r.data.end()));
    });
}

// ---- Scenario kinds ------------------------------------------------------------

// Application members shared by every kind: aid, file, readonly.
std::unique_ptr<SmartCardApp> appFromJson(const Members& card, Bytes defaultAid) {
    Bytes aid = card.optionalHex("aid").value_or(std::move(defaultAid));
    if (aid.empty() || aid.size() > 16) throw ScenarioError("aid: expected 1 to 16 bytes");
    Bytes file = card.optionalHex("file").value_or(Bytes(128, 0x00));
    if (file.empty() || file.size() > SmartCardApp::kMaxFileSize)
        throw ScenarioError("file: expected 1 to " + std::to_string(SmartCardApp::kMaxFileSize) + " bytes");
    const auto access =
        card.boolean("readonly", false) ? SmartCardApp::Access::ReadOnly : SmartCardApp::Access::ReadWrite;
    return std::make_unique<SmartCardApp>(std::move(aid), std::move(file), access);
}

std::unique_ptr<Card> makeTypeB(const Members& card) {
    card.allowOnly({"pupi", "appdata", "protocol", "afi", "aid", "file", "readonly"});
    const auto protocol = card.fixedHex<3>("protocol", Iso14443_4BCard::kDefaultProtocolInfo);
    if ((protocol[1] & 0x01) == 0) throw ScenarioError("protocol: the second byte must announce ISO 14443-4");
    return std::make_unique<Iso14443_4BCard>(
        card.fixedHex<4>("pupi"), appFromJson(card, SmartCardApp::sampleAid()),
        card.fixedHex<4>("appdata", {}), protocol, static_cast<std::uint8_t>(card.integer("afi", 0, 255, 0)));
}

std::unique_ptr<Card> makeIso14443_4A(const Members& card) {
    card.allowOnly({"uid", "historical", "aid", "file", "readonly"});
    const Bytes uid = card.hex("uid");
    if (uid.size() != 4 && uid.size() != 7 && uid.size() != 10)
        throw ScenarioError("uid: expected 4, 7 or 10 bytes");
    const Bytes historical =
        card.optionalHex("historical").value_or(Iso14443_4ACard::defaultHistoricalBytes());
    if (historical.size() > 15) throw ScenarioError("historical: at most 15 bytes");
    return std::make_unique<Iso14443_4ACard>(uid, appFromJson(card, SmartCardApp::sampleAid()), historical);
}

std::unique_ptr<Card> makeIdCard(const Members& card) {
    card.allowOnly({"id", "record"});
    const Bytes record = card.optionalHex("record").value_or(IdCard::defaultHolderRecord());
    if (record.empty() || record.size() > SmartCardApp::kMaxFileSize)
        throw ScenarioError("record: expected 1 to " + std::to_string(SmartCardApp::kMaxFileSize) + " bytes");
    return std::make_unique<IdCard>(card.fixedHex<8>("id"), record);
}

} // namespace

void addTypeBKinds(CardKinds& kinds) {
    kinds.add("typeb", makeTypeB, "ISO 14443-4 Type B smart card with a small application");
    kinds.add("iso14443_4a", makeIso14443_4A, "ISO 14443-4 Type A smart card with a small application");
    kinds.add("idcard", makeIdCard, "ID card (Type B) with an 8-byte card number");
}

SamPlacement samFromJson(const Json& sam) {
    const Members card(sam);
    card.allowOnly({"slot", "aid", "file", "readonly", "t0", "t1", "ta1", "historical", "atrbaud"});
    const auto slot = static_cast<std::uint8_t>(card.integer("slot", 1, SamSlots::kSlotCount, 0));
    if (slot == 0) throw ScenarioError("missing member \"slot\"");
    AtrProfile profile;
    profile.t0 = card.boolean("t0", profile.t0);
    profile.t1 = card.boolean("t1", profile.t1);
    if (!profile.t0 && !profile.t1) throw ScenarioError("t0, t1: a SAM offers at least one protocol");
    if (card.has("ta1")) {
        profile.ta1 = card.fixedHex<1>("ta1")[0];
        try {
            maxRateOf(profile.ta1);
        } catch (const std::invalid_argument&) {
            throw ScenarioError("ta1: reserved Fi or Di");
        }
    }
    profile.historical = card.optionalHex("historical").value_or(profile.historical);
    if (profile.historical.size() > 15) throw ScenarioError("historical: at most 15 bytes");
    const auto rate = static_cast<unsigned>(card.integer("atrbaud", 0, 1'000'000, 9600));
    const auto id = std::find(kSamBaudRates.begin(), kSamBaudRates.end(), rate);
    if (id == kSamBaudRates.end()) throw ScenarioError("atrbaud: not a rate of the SAM slots");
    return {slot, std::make_unique<Sam>(profile, appFromJson(card, Sam::standardAid()),
                                        static_cast<std::uint8_t>(id - kSamBaudRates.begin()))};
}

void installTypeB(Dispatcher& dispatcher) { installTypeBWithSlots(dispatcher, std::make_shared<SamSlots>()); }

void installTypeBWithSlots(Dispatcher& dispatcher, std::shared_ptr<SamSlots> slots) {
    if (!slots) slots = std::make_shared<SamSlots>();
    dispatcher.add(typeb_cmd::Request, request);
    dispatcher.add(typeb_cmd::GetCard, getCard);
    dispatcher.add(typeb_cmd::Attrib, attrib);
    dispatcher.add(typeb_cmd::Halt, halt);
    dispatcher.add(typeb_cmd::Rats, rats);
    dispatcher.add(typeb_cmd::Apdu, apdu);
    dispatcher.add(typeb_cmd::Deselect, deselect);
    dispatcher.add(typeb_cmd::IdCardRequest, idCardRequest);
    dispatcher.add(typeb_cmd::IdCardCommand, idCardCommand);
    installSamSlots(dispatcher, slots);
}

} // namespace sim

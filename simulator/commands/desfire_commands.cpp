#include "simulator/commands/desfire_commands.h"

#include <algorithm>
#include <functional>
#include <span>
#include <variant>

#include "simulator/cards/desfire.h"
#include "simulator/scenario/scenario.h"

namespace sim {

namespace {

using desfire::Reply;
using Data = std::span<const std::uint8_t>;

std::uint32_t be24(Data d, std::size_t at) { return std::uint32_t{d[at]} << 16 | d[at + 1] << 8 | d[at + 2]; }
std::uint32_t le24(Data d, std::size_t at) { return std::uint32_t{d[at + 2]} << 16 | d[at + 1] << 8 | d[at]; }
std::int32_t le32(Data d, std::size_t at) {
    return static_cast<std::int32_t>(le24(d, at) | std::uint32_t{d[at + 3]} << 24);
}
void putLe24(Bytes& out, std::size_t n) {
    for (int i = 0; i < 3; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}
void putBe24(Bytes& out, std::size_t n) {
    for (int i = 2; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}
desfire::Key keyAt(Data d, std::size_t at) {
    desfire::Key key{};
    std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), key.size(), key.begin());
    return key;
}
desfire::AccessRights accessAt(Data d, std::size_t at) {
    return desfire::AccessRights::fromBytes(d[at], d[at + 1]);
}

// The card's answer as the reader passes it on: its status byte as the
// reader's, its data after the reader's reshaping (for the answers that get one).
Answer pass(Reply reply, const std::function<Bytes(Bytes)>& shape = {}) {
    if (!reply.ok()) return Answer::raw(reply.status);
    return Answer::ok(shape ? shape(std::move(reply.data)) : std::move(reply.data));
}

// The DESFire card the reader talks to, or the reader's reason for having none.
std::variant<DesfireCard*, Status> targetCard(const Field& field) {
    std::vector<DesfireCard*> awake = field.inRange<DesfireCard>();
    std::erase_if(awake, [](const DesfireCard* card) { return card->halted(); });
    if (Card* selected = field.selected()) {
        auto* card = dynamic_cast<DesfireCard*>(selected);
        if (!card) return Status::WrongCardState;
        if (std::find(awake.begin(), awake.end(), card) == awake.end()) return Status::NoCard;
        return card;
    }
    if (awake.empty()) return Status::NoCard;
    if (awake.size() > 1) return Status::WrongCardState;
    return awake.front();
}

using LengthRule = std::function<bool(Data)>;
using CardCommand = std::function<Answer(Data, DesfireCard&)>;

LengthRule exactly(std::size_t n) {
    return [n](Data d) { return d.size() == n; };
}
// Header of `header` bytes whose 3-byte length field at `at` counts the data after it.
LengthRule headerAndData(std::size_t header, std::size_t at, bool mostSignificantFirst) {
    return [=](Data d) {
        if (d.size() < header) return false;
        const std::uint32_t length = mostSignificantFirst ? be24(d, at) : le24(d, at);
        return d.size() - header == length;
    };
}

Handler onCard(LengthRule lengthOk, CardCommand command) {
    return [lengthOk = std::move(lengthOk),
            command = std::move(command)](const Request& request, Context& context) -> std::optional<Answer> {
        if (!lengthOk(request.data)) return Answer(Status::BadLength);
        const auto target = targetCard(context.field);
        if (const auto* refused = std::get_if<Status>(&target)) return Answer(*refused);
        return command(request.data, *std::get<DesfireCard*>(target));
    };
}

Bytes countedList(std::size_t entrySize, Bytes entries) {
    Bytes out{static_cast<std::uint8_t>(entries.size() / entrySize)};
    out.insert(out.end(), entries.begin(), entries.end());
    return out;
}

// A read answer: the reader refuses what one frame cannot carry.
Answer readAnswer(Reply reply, bool mostSignificantFirst) {
    if (reply.ok() && reply.data.size() > kDesfireMaxReadData) return Answer::raw(desfire::LengthError);
    return pass(std::move(reply), [&](Bytes data) {
        Bytes out;
        if (mostSignificantFirst)
            putBe24(out, data.size());
        else
            putLe24(out, data.size());
        out.insert(out.end(), data.begin(), data.end());
        return out;
    });
}

void registerCommands(Dispatcher& d) {
    namespace cmd = desfire::cmd;

    d.add(cmd::Authenticate, onCard(exactly(17), [](Data r, DesfireCard& card) {
              return pass(card.authenticate(r[0], keyAt(r, 1)));
          }));
    d.add(cmd::ChangeKeySettings,
          onCard(exactly(8), [](Data r, DesfireCard& card) { return pass(card.changeKeySettings(r[0])); }));
    d.add(cmd::GetKeySettings,
          onCard(exactly(0), [](Data, DesfireCard& card) { return pass(card.getKeySettings()); }));
    d.add(cmd::ChangeKey, onCard(exactly(25), [](Data r, DesfireCard& card) {
              return pass(card.changeKey(r[0], keyAt(r, 1)));
          }));
    d.add(cmd::GetKeyVersion,
          onCard(exactly(1), [](Data r, DesfireCard& card) { return pass(card.getKeyVersion(r[0])); }));

    d.add(cmd::CreateApplication, onCard(exactly(5), [](Data r, DesfireCard& card) {
              return pass(card.createApplication(le24(r, 0), r[3], r[4]));
          }));
    d.add(cmd::DeleteApplication, onCard(exactly(3), [](Data r, DesfireCard& card) {
              return pass(card.deleteApplication(le24(r, 0)));
          }));
    d.add(cmd::GetApplicationIds, onCard(exactly(0), [](Data, DesfireCard& card) {
              return pass(card.getApplicationIds(),
                          [](Bytes aids) { return countedList(3, std::move(aids)); });
          }));
    d.add(cmd::SelectApplication, onCard(exactly(3), [](Data r, DesfireCard& card) {
              return pass(card.selectApplication(le24(r, 0)));
          }));
    d.add(cmd::FormatPicc,
          onCard(exactly(0), [](Data, DesfireCard& card) { return pass(card.formatPicc()); }));
    d.add(cmd::GetVersion,
          onCard(exactly(0), [](Data, DesfireCard& card) { return pass(card.getVersion()); }));

    d.add(cmd::GetFileIds, onCard(exactly(0), [](Data, DesfireCard& card) {
              return pass(card.getFileIds(), [](Bytes ids) { return countedList(1, std::move(ids)); });
          }));
    d.add(cmd::GetFileSettings,
          onCard(exactly(1), [](Data r, DesfireCard& card) { return pass(card.getFileSettings(r[0])); }));
    d.add(cmd::ChangeFileSettings, onCard([](Data r) { return r.size() >= 2 && r.size() - 2 == r[1]; },
                                          [](Data r, DesfireCard& card) {
                                              return pass(card.changeFileSettings(r[0], r.subspan(2)));
                                          }));
    for (const bool backup : {false, true}) {
        d.add(backup ? cmd::CreateBackupDataFile : cmd::CreateStdDataFile,
              onCard(exactly(7), [backup](Data r, DesfireCard& card) {
                  return pass(card.createDataFile(r[0], backup, r[1], accessAt(r, 2), be24(r, 4)));
              }));
    }
    d.add(cmd::CreateValueFile, onCard(exactly(17), [](Data r, DesfireCard& card) {
              return pass(card.createValueFile(r[0], r[1], accessAt(r, 2), le32(r, 4), le32(r, 8),
                                               le32(r, 12), r[16]));
          }));
    for (const bool cyclic : {false, true}) {
        d.add(cyclic ? cmd::CreateCyclicRecordFile : cmd::CreateLinearRecordFile,
              onCard(exactly(10), [cyclic](Data r, DesfireCard& card) {
                  return pass(
                      card.createRecordFile(r[0], cyclic, r[1], accessAt(r, 2), be24(r, 4), be24(r, 7)));
              }));
    }
    d.add(cmd::DeleteFile,
          onCard(exactly(1), [](Data r, DesfireCard& card) { return pass(card.deleteFile(r[0])); }));

    d.add(cmd::ReadData, onCard(exactly(7), [](Data r, DesfireCard& card) {
              if (be24(r, 4) > kDesfireMaxReadData) return Answer::raw(desfire::LengthError);
              return readAnswer(card.readData(r[0], be24(r, 1), be24(r, 4)), true);
          }));
    d.add(cmd::WriteData, onCard(headerAndData(7, 4, true), [](Data r, DesfireCard& card) {
              return pass(card.writeData(r[0], be24(r, 1), r.subspan(7)));
          }));
    // The card's status byte (00) stays in front of the value.
    d.add(cmd::GetValue, onCard(exactly(1), [](Data r, DesfireCard& card) {
              return pass(card.getValue(r[0]), [](Bytes value) {
                  value.insert(value.begin(), desfire::Ok);
                  return value;
              });
          }));
    d.add(cmd::Credit,
          onCard(exactly(5), [](Data r, DesfireCard& card) { return pass(card.credit(r[0], le32(r, 1))); }));
    d.add(cmd::Debit,
          onCard(exactly(5), [](Data r, DesfireCard& card) { return pass(card.debit(r[0], le32(r, 1))); }));
    d.add(cmd::LimitedCredit, onCard(exactly(5), [](Data r, DesfireCard& card) {
              return pass(card.limitedCredit(r[0], le32(r, 1)));
          }));

    d.add(cmd::WriteRecord, onCard(headerAndData(7, 4, false), [](Data r, DesfireCard& card) {
              return pass(card.writeRecord(r[0], le24(r, 1), r.subspan(7)));
          }));
    d.add(cmd::ReadRecords, onCard(exactly(7), [](Data r, DesfireCard& card) {
              return readAnswer(card.readRecords(r[0], le24(r, 1), le24(r, 4)), false);
          }));
    d.add(cmd::ClearRecordFile,
          onCard(exactly(1), [](Data r, DesfireCard& card) { return pass(card.clearRecordFile(r[0])); }));
    d.add(cmd::CommitTransaction,
          onCard(exactly(0), [](Data, DesfireCard& card) { return pass(card.commitTransaction()); }));
    d.add(cmd::AbortTransaction,
          onCard(exactly(0), [](Data, DesfireCard& card) { return pass(card.abortTransaction()); }));
}

// ---- scenario kind -----------------------------------------------------------------

std::unique_ptr<Card> makeDesfire(const Members& card) {
    card.allowOnly({"uid", "storage", "masterKey", "keySettings"});
    const Bytes uid = card.hex("uid");
    if (uid.size() != 7) throw ScenarioError("uid: expected 7 bytes");
    DesfireCard::Identity identity;
    if (const auto size = card.text("storage")) {
        if (*size == "2K")
            identity.storage = desfire::Storage::Size2K;
        else if (*size == "4K")
            identity.storage = desfire::Storage::Size4K;
        else if (*size == "8K")
            identity.storage = desfire::Storage::Size8K;
        else
            throw ScenarioError("storage: expected \"2K\", \"4K\" or \"8K\"");
    }
    auto made = std::make_unique<DesfireCard>(uid, identity);
    if (card.has("masterKey")) made->setPiccMasterKey(card.fixedHex<desfire::kKeySize>("masterKey"));
    if (card.has("keySettings"))
        made->setPiccKeySettings(static_cast<std::uint8_t>(card.integer("keySettings", 0, 0xFF, 0)));
    return made;
}

} // namespace

void installDesfire(Dispatcher& dispatcher) { registerCommands(dispatcher); }

void addDesfireKinds(CardKinds& kinds) {
    kinds.add("desfire", makeDesfire,
              "DESFire EV1, 7-byte UID, empty card level (default master key all zero)");
}

} // namespace sim

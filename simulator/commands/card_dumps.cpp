#include "simulator/commands/card_dumps.h"

#include <algorithm>

namespace sim {

namespace {

namespace dump = varrok::dump;

// "dump: FILE: problem", as the dump module words its own errors.
[[noreturn]] void refuse(const Members& card, const std::string& problem) {
    throw ScenarioError("dump: " + card.text("dump").value_or("") + ": " + problem);
}

// The dump's UID, checked against "uid" when both are there. A file without a
// header gives the UID its memory holds; where the check bytes are broken the
// UID is taken as written (the first `size` bytes of the memory, check bytes
// skipped), so that the check that follows names the fault.
Bytes uidOf(const Members& card, const dump::Card& copy, Bytes asWritten) {
    Bytes uid = copy.uid.empty() ? dump::uidFromMemory(copy) : copy.uid;
    if (const auto given = card.optionalHex("uid")) {
        if (!uid.empty() && *given != uid)
            refuse(card, "the card's UID is " + toHex(uid) + ", not " + toHex(*given));
        uid = *given;
    }
    return uid.empty() ? asWritten : uid;
}

void refuseSize(const Members& card, const char* unit, std::size_t found, std::size_t wanted) {
    if (found != wanted)
        refuse(card, std::to_string(found) + " " + unit + ", but a " + card.text("kind").value_or("card") +
                         " has " + std::to_string(wanted));
}

} // namespace

std::optional<dump::Card> readDump(const Members& card, dump::Family family) {
    const auto path = card.file("dump");
    if (!path) return std::nullopt;
    dump::Card copy;
    try {
        copy = dump::read(path->string(), family);
    } catch (const dump::Error& error) {
        throw ScenarioError(std::string("dump: ") + error.what());
    }
    const auto unread = std::find(copy.known.begin(), copy.known.end(), false);
    if (unread != copy.known.end())
        refuse(card, "block " + std::to_string(unread - copy.known.begin()) +
                         " was not read, and the simulated card needs every block");
    return copy;
}

std::unique_ptr<ClassicCard> classicFromDump(ClassicCard::Model model, const Members& card, dump::Card copy) {
    card.allowOnly({"uid", "dump"});
    refuseSize(card, "blocks", copy.blockCount(), ClassicCard::blocksOf(model));
    copy.uid = uidOf(card, copy, Bytes(copy.memory.begin(), copy.memory.begin() + 4));
    if (copy.uid.size() != 4 && copy.uid.size() != 7) refuse(card, "a Classic UID has 4 or 7 bytes");
    if (!dump::classic::block0Valid(copy))
        refuse(card, "block 0 does not start with the UID " + toHex(copy.uid) +
                         (copy.uid.size() == 4 ? " and its check byte (a 7-byte UID needs \"uid\")" : ""));
    const std::size_t sectors = dump::classic::sectorCount(copy.blockCount());
    for (std::size_t sector = 0; sector < sectors; ++sector) {
        const auto access = copy.block(dump::classic::trailerOf(sector)).subspan(6, 3);
        if (!dump::classic::accessBitsValid(access))
            refuse(card, "sector " + std::to_string(sector) + ": impossible access bits " + toHex(access) +
                             " (each bit must come with its inverted copy)");
    }
    auto made = std::make_unique<ClassicCard>(model, copy.uid);
    for (std::size_t block = 0; block < copy.blockCount(); ++block) {
        classic::Block data{};
        std::ranges::copy(copy.block(block), data.begin());
        made->setBlock(block, data);
    }
    return made;
}

std::unique_ptr<UltralightCard> ultralightFromDump(UltralightCard::Model model, const Members& card,
                                                   const dump::Card& copy) {
    const bool isC = model == UltralightCard::Model::UltralightC;
    if (isC)
        card.allowOnly({"uid", "dump", "key"});
    else
        card.allowOnly({"uid", "dump"});
    const auto& m = copy.memory;
    const Bytes uid = uidOf(card, copy, {m[0], m[1], m[2], m[4], m[5], m[6], m[7]});
    if (uid.size() != 7) refuse(card, "an Ultralight UID has 7 bytes");
    auto made = std::make_unique<UltralightCard>(model, uid);
    refuseSize(card, "pages", copy.blockCount(), made->pageCount());
    // Pages 0 and 1 and the first byte of page 2 are the UID and its check bytes.
    const auto page = [&copy](std::size_t n) { return copy.block(n); };
    if (!std::ranges::equal(page(0), made->page(0)) || !std::ranges::equal(page(1), made->page(1)) ||
        page(2)[0] != made->page(2)[0])
        refuse(card, "pages 0 to 2 do not hold the UID " + toHex(uid) + " with its check bytes");
    for (std::size_t n = ultralight::kLockPage; n < made->pageCount(); ++n) {
        if (isC && n >= ultralight::kCKeyPage) break;
        made->setPage(n, ultralight::Page{page(n)[0], page(n)[1], page(n)[2], page(n)[3]});
    }
    if (card.has("key")) made->setKey(card.fixedHex<16>("key"));
    return made;
}

} // namespace sim

// Finding a card of one family in the field, shared by the card commands.
#pragma once

#include "cli/app.h"

#include <functional>
#include <optional>

namespace cli {

struct TypeACard {
    Bytes atqa; // as the card sends it, least significant byte first
    std::uint8_t sak = 0;
    Bytes uid;
    std::string name() const;
    // Blocks of a MIFARE Classic card of this SAK; 0 for other cards.
    std::size_t classicBlocks() const;
};

// Switches the reader to a protocol family with a short field reset, so every
// card in the field starts afresh: 'A', 'B', '1' (ISO 15693), 'I' (ICODE1), 's' (ST).
void useFamily(Session& s, char family);
using CardFilter = std::function<bool(const TypeACard&)>;
// Selects the first idle Type A card that `wanted` accepts, halting the
// others on the way, so it works with several cards in the field; a Failure
// with kNoCard when none answers. Also selects the same card again after it
// fell idle (a refused authentication), as halted cards keep quiet.
TypeACard selectTypeA(Session& s, const CardFilter& wanted, const std::string& what);
// The next idle Type A card, or nothing: a loop of nextTypeA + halt lists the field.
std::optional<TypeACard> nextTypeA(Session& s);

// An ISO 14443-4 Type A card (any, or one `wanted` accepts), selected and activated (RATS); returns its ATS.
Bytes activateTypeA(Session& s, const CardFilter& wanted = {},
                    const std::string& what = "ISO 14443-4 Type A card");

} // namespace cli

// A contactless card as the driver found it in the field, and the ATR
// applications see for it. Storage cards get the form with the registered
// application identifier, the standard byte and the card name; ISO 14443-4
// cards an ATR built from their ATS historical bytes (Type A) or from the
// ATQB's application data and protocol information (Type B).
#pragma once

#include "apdu.h"

#include <cstdint>
#include <string_view>

namespace varrok_ifd {

enum class CardKind {
    ClassicMini,
    Classic1K,
    Classic4K,
    Ultralight,
    UltralightC,
    OtherTypeA, // a Type A storage card of no family the driver knows
    SmartCardA, // ISO 14443-4 Type A
    SmartCardB, // ISO 14443-4 Type B
    Vicinity,   // ISO 15693
};

struct Card {
    CardKind kind = CardKind::OtherTypeA;
    Bytes uid;        // Type A UID, Type B PUPI, ISO 15693 UID (as the reader returns it)
    Bytes historical; // ATS historical bytes (Type A), application data + protocol info (Type B)
    std::uint8_t sak = 0;
    std::uint8_t maker = 0; // ISO 15693 manufacturer code

    bool operator==(const Card&) const = default;
};

bool isClassic(CardKind kind);
bool isUltralight(CardKind kind);
bool isSmartCard(CardKind kind);
// Blocks (Classic) or pages (Ultralight) the card has; 0 when the driver does
// not know it and leaves the bound to the card.
unsigned memoryUnits(CardKind kind);
std::string_view kindName(CardKind kind);

// The standard byte and the two card name bytes of the storage card form.
struct StorageName {
    std::uint8_t standard;
    std::uint16_t name;
};
StorageName storageName(const Card& card);

// The ATR, at most 33 bytes, ending in its check byte.
Bytes buildAtr(const Card& card);

} // namespace varrok_ifd

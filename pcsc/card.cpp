#include "card.h"

#include <algorithm>

namespace varrok_ifd {

bool isClassic(CardKind kind) {
    return kind == CardKind::ClassicMini || kind == CardKind::Classic1K || kind == CardKind::Classic4K;
}

bool isUltralight(CardKind kind) { return kind == CardKind::Ultralight || kind == CardKind::UltralightC; }

bool isSmartCard(CardKind kind) { return kind == CardKind::SmartCardA || kind == CardKind::SmartCardB; }

unsigned memoryUnits(CardKind kind) {
    switch (kind) {
    case CardKind::ClassicMini:
        return 20;
    case CardKind::Classic1K:
        return 64;
    case CardKind::Classic4K:
        return 256;
    case CardKind::Ultralight:
        return 16;
    case CardKind::UltralightC:
        return 48;
    default:
        return 0;
    }
}

std::string_view kindName(CardKind kind) {
    switch (kind) {
    case CardKind::ClassicMini:
        return "MIFARE Classic Mini";
    case CardKind::Classic1K:
        return "MIFARE Classic 1K";
    case CardKind::Classic4K:
        return "MIFARE Classic 4K";
    case CardKind::Ultralight:
        return "MIFARE Ultralight";
    case CardKind::UltralightC:
        return "MIFARE Ultralight C";
    case CardKind::OtherTypeA:
        return "Type A storage card";
    case CardKind::SmartCardA:
        return "ISO 14443-4 Type A";
    case CardKind::SmartCardB:
        return "ISO 14443-4 Type B";
    case CardKind::Vicinity:
        return "ISO 15693";
    }
    return "card";
}

namespace {

constexpr std::uint8_t kIso14443APart3 = 0x03;
constexpr std::uint8_t kIso15693Part3 = 0x0B;

// The ISO 15693 card names by manufacturer code.
std::uint16_t vicinityName(std::uint8_t maker) {
    switch (maker) {
    case 0x04:
        return 0x0014; // I-Code SLI
    case 0x07:
        return 0x0012; // Tag-it
    case 0x02:
        return 0x0013; // LRI512
    default:
        return 0x0000;
    }
}

// TS T0 TD1 TD2, the historical bytes, TCK: T=1 offered, as every contactless
// card appears to a PC/SC application.
Bytes frame(const Bytes& historical) {
    const std::size_t k = std::min<std::size_t>(historical.size(), 15);
    Bytes atr{0x3B, static_cast<std::uint8_t>(0x80 | k), 0x80, 0x01};
    for (std::size_t i = 0; i < k; ++i)
        atr.push_back(historical[i]);
    std::uint8_t tck = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        tck ^= atr[i];
    atr.push_back(tck);
    return atr;
}

} // namespace

StorageName storageName(const Card& card) {
    switch (card.kind) {
    case CardKind::ClassicMini:
        return {kIso14443APart3, 0x0026};
    case CardKind::Classic1K:
        return {kIso14443APart3, 0x0001};
    case CardKind::Classic4K:
        return {kIso14443APart3, 0x0002};
    case CardKind::Ultralight:
        return {kIso14443APart3, 0x0003};
    case CardKind::UltralightC:
        return {kIso14443APart3, 0x003A};
    case CardKind::Vicinity:
        return {kIso15693Part3, vicinityName(card.maker)};
    default:
        return {kIso14443APart3, 0x0000};
    }
}

Bytes buildAtr(const Card& card) {
    if (card.kind == CardKind::SmartCardA) return frame(card.historical);
    if (card.kind == CardKind::SmartCardB) {
        // Application data (4), protocol information (3), then the MBLI nibble
        // of the ATTRIB answer, which the reader keeps to itself: 0.
        Bytes historical = card.historical;
        historical.resize(7, 0x00);
        historical.push_back(0x00);
        return frame(historical);
    }
    const StorageName n = storageName(card);
    // Category 80, tag 4F (application identifier) of 12 bytes: the registered
    // identifier A0 00 00 03 06, the standard, the card name, 4 RFU bytes.
    return frame({0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06, n.standard,
                  static_cast<std::uint8_t>(n.name >> 8), static_cast<std::uint8_t>(n.name), 0x00, 0x00, 0x00,
                  0x00});
}

} // namespace varrok_ifd

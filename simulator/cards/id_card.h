#pragma once
// The ID card: an ISO 14443-4 Type B card that carries an 8-byte card number.
// Readers with an ID-card command fetch that number in one go: they wake the
// card, give it ATTRIB and send it GET ID (00 36 00 00 08), after which the
// card takes further APDUs like any ISO 14443-4 card.
//
// Its application (smart_card_app.h) adds one instruction to the common ones:
//   00 36 00 00 Le   GET ID   the 8-byte number 9000 (Le 08 or 00); other Le 6C08;
//                             P1-P2 other than 0000 6A86; sent with a body 6700
// It answers whether or not its application is selected. The application's
// own file (the holder's record) is read-only, like the printed card.

#include <array>
#include <cstdint>
#include <memory>

#include "simulator/cards/iso14443_4.h"

namespace sim {

class IdCardApp : public SmartCardApp {
  public:
    std::unique_ptr<SmartCardApp> clone() const override { return std::make_unique<IdCardApp>(*this); }
    using Id = std::array<std::uint8_t, 8>;
    static constexpr std::uint8_t kGetId = 0x36;

    IdCardApp(Id id, Bytes holderRecord);
    static Bytes defaultAid();

  protected:
    std::optional<Bytes> processOwn(const Apdu& apdu) override;

  private:
    Id id_;
};

class IdCard : public Iso14443_4BCard {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<IdCard>(*this); }
    using Id = IdCardApp::Id;

    // These cards answer with an all-zero PUPI and application data.
    explicit IdCard(Id id, Bytes holderRecord = defaultHolderRecord());

    static Bytes defaultHolderRecord();
    // The GET ID APDU the reader sends.
    static Bytes getIdCommand() { return {0x00, IdCardApp::kGetId, 0x00, 0x00, 0x08}; }

    const Id& id() const { return id_; }
    std::string describe() const override;

  private:
    Id id_;
};

} // namespace sim

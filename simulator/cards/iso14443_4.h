#pragma once
// ISO 14443-4: the block protocol contactless smart cards speak once they are
// activated, Type A cards after RATS and Type B cards after ATTRIB. The
// reader carries the host's APDUs in I-blocks and hands back the card's
// answers; the card's application (smart_card_app.h) does the rest.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "simulator/cards/smart_card_app.h"
#include "simulator/cards/type_a_card.h"
#include "simulator/cards/type_b.h"
#include "simulator/wire/bytes.h"

namespace sim {

// The ISO 14443-4 half of a card: whether it is activated, the card
// identifier (CID) it got at activation, and the application behind it.
class Layer4 {
  public:
    explicit Layer4(std::unique_ptr<SmartCardApp> app);
    Layer4(const Layer4& other); // a copy of the card owns a copy of its application
    Layer4& operator=(const Layer4&) = delete;

    bool active() const { return active_; }
    std::uint8_t cid() const { return cid_; }

    // RATS or ATTRIB: the card now takes I-blocks, addressed with this CID.
    void activate(std::uint8_t cid);
    // DESELECT or loss of power. The application forgets its selection, as
    // the card powers its protocol down.
    void deactivate();

    // One APDU carried in an I-block: the application's answer, or nullopt
    // when the card is not activated and so ignores the block.
    std::optional<Bytes> exchange(const Bytes& apdu);

    SmartCardApp& app() { return *app_; }
    const SmartCardApp& app() const { return *app_; }

  private:
    std::unique_ptr<SmartCardApp> app_;
    bool active_ = false;
    std::uint8_t cid_ = 0;
};

// A card of either type that speaks ISO 14443-4; the reader's APDU and
// deselect commands find the card they talk to through this.
class Layer4Card {
  public:
    virtual ~Layer4Card() = default;
    virtual Layer4& layer4() = 0;
    // ISO 14443-4 DESELECT: the session ends and the card goes to HALT, where
    // only a wake-up reaches it again.
    virtual void deselect() = 0;
};

// An ISO 14443-4 Type A card: found and selected like any Type A card
// (SAK 0x20 says it speaks ISO 14443-4), activated by RATS, which it answers
// with its ATS.
//
// ATS as the card sends it (without CRC):
//   TL T0 TA1 TB1 TC1 historical...
//   TL   length of the ATS, TL included
//   T0   0x78: TA1, TB1, TC1 follow; FSCI 8 (frames up to 256 bytes)
//   TA1  0x00: 106 kbit/s both ways only
//   TB1  0x81: FWI 8, SFGI 1
//   TC1  0x02: CID supported, NAD not
class Iso14443_4ACard : public TypeACard, public Layer4Card {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Iso14443_4ACard>(*this); }
    static constexpr std::uint8_t kSak = 0x20;

    // uid: 4, 7 or 10 bytes (the ATQA follows from its size); historical: at
    // most 15 bytes. Throws std::invalid_argument otherwise.
    Iso14443_4ACard(Bytes uid, std::unique_ptr<SmartCardApp> app,
                    Bytes historical = defaultHistoricalBytes());

    static Bytes defaultHistoricalBytes();

    std::string describe() const override;
    Bytes ats() const override;
    // An APDU in an I-block: answered only after RATS.
    std::optional<Bytes> apdu(const Bytes& command) override;

    // RATS: activates the card with CID 0 (the reader's own RATS always asks
    // for CID 0) and gives the ATS; nullopt when the card is activated
    // already, since it then takes only blocks.
    std::optional<Bytes> rats();
    // HLTA, a refused command or a new REQA/WUPA: the block protocol ends.
    void leaveSession() override { layer4_.deactivate(); }

    Layer4& layer4() override { return layer4_; }
    void deselect() override;

  protected:
    void onPowerCycle() override;

  private:
    Bytes historical_;
    Layer4 layer4_;
};

// An ISO 14443-4 Type B card: ATTRIB also starts its block protocol, with the
// CID the reader gave it; HLTB, DESELECT and loss of power end it.
class Iso14443_4BCard : public TypeBCard, public Layer4Card {
  public:
    std::unique_ptr<Card> clone() const override { return std::make_unique<Iso14443_4BCard>(*this); }
    // 106 kbit/s only; frames up to 256 bytes, speaks ISO 14443-4; FWI 8,
    // CID supported.
    static constexpr ProtocolInfo kDefaultProtocolInfo{0x00, 0x81, 0x81};

    // protocolInfo must announce ISO 14443-4 (bit 0 of its second byte);
    // throws std::invalid_argument otherwise.
    Iso14443_4BCard(Pupi pupi, std::unique_ptr<SmartCardApp> app, ApplicationData applicationData = {},
                    ProtocolInfo protocolInfo = kDefaultProtocolInfo, std::uint8_t afi = 0);

    std::string describe() const override;
    Layer4& layer4() override { return layer4_; }
    void deselect() override;

  protected:
    void onAttrib(std::uint8_t cid) override;
    void onHalt() override;
    void onPowerCycle() override;

  private:
    Layer4 layer4_;
};

// The ATQA of a Type A card, in the order it is sent, from its UID size:
// 4 bytes 04 00, 7 bytes 44 00, 10 bytes 84 00. Throws for other sizes.
std::array<std::uint8_t, 2> atqaForUid(std::size_t uidSize);

} // namespace sim

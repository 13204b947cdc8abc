// Smart cards through the library on a simulated reader served over loopback
// TCP: Type B and ISO 14443-4 Type A cards with their application, the ID
// card, and SAMs in the reader's contact slots.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "simulator/cards/id_card.h"
#include "simulator/cards/iso14443_4.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/commands/type_b_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/reader/sam_slots.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

namespace {

using sim::Bytes;
using sim::Field;
using sim::ReaderState;

constexpr unsigned short kDev = 0;
constexpr int code(sim::Status s) { return static_cast<int>(s); }

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kOk{0x90, 0x00};
Bytes selectApdu(const Bytes& aid) {
    return cat({0x00, 0xA4, 0x04, 0x0C, static_cast<std::uint8_t>(aid.size())}, aid);
}

class SmartCardsEndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        reader.install([this](sim::Dispatcher& d) {
            sim::installTypeA(d);
            sim::installTypeBWithSlots(d, slots);
        });
        server.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(server.port())).c_str()), 0);
    }
    void TearDown() override {
        ReaderClose(0);
        server.stop();
    }

    template <class C, class... Args> C& add(Args&&... args) {
        return reader.access(
            [&](ReaderState&, Field& f) -> C& { return f.emplace<C>(std::forward<Args>(args)...); });
    }
    void fieldIn(unsigned char type) {
        ASSERT_EQ(rf_antenna_sta(kDev, 0), 0);
        ASSERT_EQ(rf_init_type(kDev, type), 0);
        ASSERT_EQ(rf_antenna_sta(kDev, 1), 0);
    }
    // rf_ISO14443_4_COS: the answer, or the return code as a one-byte marker.
    Bytes cos(const Bytes& apdu, int expected = 0) {
        unsigned char resp[256] = {}, len = 0;
        Bytes copy = apdu;
        EXPECT_EQ(
            rf_ISO14443_4_COS(kDev, copy.data(), static_cast<unsigned char>(copy.size()), resp, &len, 300),
            expected)
            << sim::toHex(apdu);
        return Bytes(resp, resp + len);
    }

    std::shared_ptr<sim::SamSlots> slots = std::make_shared<sim::SamSlots>();
    sim::Reader reader;
    sim::TcpServer server{reader};
};

TEST_F(SmartCardsEndToEnd, TypeBRequestAttribApduHalt) {
    const sim::TypeBCard::Pupi pupi{0x5A, 0x01, 0xAA, 0x7F}; // 0xAA travels stuffed
    add<sim::Iso14443_4BCard>(pupi, sim::SmartCardApp::sample(), sim::TypeBCard::ApplicationData{1, 2, 3, 4});
    unsigned char atqb[12] = {};
    EXPECT_EQ(rf_ISO14443B_Request(kDev, 0, atqb), code(sim::Status::NoCard)) << "field still in Type A";
    fieldIn('B');

    ASSERT_EQ(rf_ISO14443B_Request(kDev, 0, atqb), 0);
    EXPECT_EQ(sim::toHex(Bytes(atqb, atqb + 12)), "50 5A 01 AA 7F 01 02 03 04 00 81 81");
    unsigned char wrong[4] = {0x5A, 0x01, 0xAA, 0x7E};
    EXPECT_EQ(rf_ISO14443B_Attribute(kDev, wrong, 0), code(sim::Status::NoCard));
    ASSERT_EQ(rf_ISO14443B_Attribute(kDev, atqb + 1, 0), 0);

    EXPECT_EQ(cos(selectApdu(sim::SmartCardApp::sampleAid())), kOk);
    EXPECT_EQ(cos({0x00, 0xD6, 0x00, 0x10, 0x04, 0xAA, 0xBB, 0xCC, 0xDD}), kOk);
    EXPECT_EQ(cos({0x00, 0xB0, 0x00, 0x0F, 0x06}), (Bytes{0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x90, 0x00}));
    EXPECT_EQ(cos({0x00, 0xB0, 0x00, 0x80, 0x01}), (Bytes{0x6B, 0x00}));
    EXPECT_EQ(cos({0x80, 0xCA, 0x00, 0x00, 0x00}), (Bytes{0x6E, 0x00}));

    // rf_typeb_cos: the lead byte is an I-block PCB; it comes back in front of the answer.
    unsigned char challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    unsigned char resp[256] = {}, len = 0;
    ASSERT_EQ(rf_typeb_cos(kDev, 0x02, challenge, sizeof challenge, resp, &len), 0);
    ASSERT_EQ(len, 11);
    EXPECT_EQ(resp[0], 0x02);
    EXPECT_EQ(sim::toHex(Bytes(resp + 9, resp + 11)), "90 00");

    ASSERT_EQ(rf_ISO14443B_Halt(kDev, atqb + 1), 0);
    EXPECT_EQ(cos(selectApdu(sim::SmartCardApp::sampleAid()), code(sim::Status::NoCard)).size(), 0u);
    EXPECT_EQ(rf_ISO14443B_Request(kDev, 0, atqb), code(sim::Status::NoCard)) << "a halted card ignores REQB";
    ASSERT_EQ(rf_ISO14443B_Request(kDev, 1, atqb), 0) << "WUPB wakes it";
    EXPECT_EQ(atqb[3], 0xAA);

    // The old names, with the PUPI as an integer in memory order.
    unsigned int pupiWord = 0;
    std::memcpy(&pupiWord, atqb + 1, 4);
    ASSERT_EQ(rf_attrib(kDev, pupiWord, 0), 0);
    EXPECT_EQ(cos(selectApdu(sim::SmartCardApp::sampleAid())), kOk);
    EXPECT_EQ(cos({0x00, 0xB0, 0x00, 0x10, 0x01}), (Bytes{0xAA, 0x90, 0x00})) << "the file kept the write";
    ASSERT_EQ(rf_hltb(kDev, pupiWord), 0);
    unsigned char atqbLen = 0;
    EXPECT_EQ(rf_atqb(kDev, 0, atqb, &atqbLen), code(sim::Status::NoCard));
    ASSERT_EQ(rf_atqb(kDev, 1, atqb, &atqbLen), 0);
    EXPECT_EQ(atqbLen, 12);
}

TEST_F(SmartCardsEndToEnd, TypeBGetCardAsksForAnApplicationFamily) {
    add<sim::Iso14443_4BCard>(sim::TypeBCard::Pupi{1, 2, 3, 4}, sim::SmartCardApp::sample(),
                              sim::TypeBCard::ApplicationData{}, sim::Iso14443_4BCard::kDefaultProtocolInfo,
                              0x31);
    fieldIn('B');
    unsigned char atqb[12] = {};
    EXPECT_EQ(rf_ISO14443B_GetCard(kDev, 0, 0x20, 0x00, atqb), code(sim::Status::NoCard));
    EXPECT_EQ(rf_ISO14443B_GetCard(kDev, 0, 0x30, 0x00, atqb), 0);
    EXPECT_EQ(atqb[4], 0x04);
    EXPECT_EQ(rf_ISO14443B_GetCard(kDev, 2, 0x00, 0x00, atqb), -5) << "the library refuses mode 2 itself";
}

TEST_F(SmartCardsEndToEnd, TypeARatsThenApdus) {
    const Bytes uid{0x08, 0x12, 0x34, 0x56};
    add<sim::Iso14443_4ACard>(uid, sim::SmartCardApp::sample(), Bytes{0xC1, 0x05, 0x2F});
    fieldIn('A');
    unsigned char ats[64] = {}, atsLen = 0;
    EXPECT_EQ(rf_ISO14443_4_TypeA_RATS(kDev, ats, &atsLen), code(sim::Status::NoCard))
        << "nothing selected yet";

    unsigned char data[32] = {}, len = 0, uidLen = 0;
    ASSERT_EQ(rf_search_type_a(kDev, 0x52, data, &len, &uidLen), 0);
    ASSERT_EQ(Bytes(data + 3, data + 3 + uidLen), uid);
    EXPECT_EQ(data[2], 0x20) << "SAK says ISO 14443-4";
    ASSERT_EQ(rf_ISO14443_4_TypeA_RATS(kDev, ats, &atsLen), 0);
    EXPECT_EQ(sim::toHex(Bytes(ats, ats + atsLen)), "08 78 00 81 02 C1 05 2F");

    EXPECT_EQ(cos({0x00, 0xB0, 0x00, 0x00, 0x02}), (Bytes{0x69, 0x86}));
    EXPECT_EQ(cos(selectApdu({0x01, 0x02, 0x03})), (Bytes{0x6A, 0x82}));
    EXPECT_EQ(cos(cat({0x00, 0xA4, 0x04, 0x00, 0x07}, sim::SmartCardApp::sampleAid())),
              cat(cat({0x6F, 0x09, 0x84, 0x07}, sim::SmartCardApp::sampleAid()), kOk));
    EXPECT_EQ(cos({0x00, 0xD6, 0x00, 0x7E, 0x02, 0x12, 0x34}), kOk);
    unsigned char readEnd[] = {0x00, 0xB0, 0x00, 0x7E, 0x04};
    unsigned char resp[256] = {}, respLen = 0;
    ASSERT_EQ(rf_cos_command(kDev, readEnd, sizeof readEnd, resp, &respLen), 0);
    EXPECT_EQ(sim::toHex(Bytes(resp, resp + respLen)), "12 34 62 82");

    ASSERT_EQ(rf_cl_deselect(kDev), 0);
    cos({0x00, 0x84, 0x00, 0x00, 0x04}, code(sim::Status::NoCard));
    EXPECT_EQ(rf_cl_deselect(kDev), code(sim::Status::NoCard));

    // The card tool's way with older readers: the Type A reset, then APDUs.
    ASSERT_EQ(rf_typea_rst(kDev, 0x52, data, &len), 0);
    EXPECT_EQ(sim::toHex(Bytes(data + 4, data + len)), "08 78 00 81 02 C1 05 2F");
    EXPECT_EQ(cos(selectApdu(sim::SmartCardApp::sampleAid())), kOk);
    EXPECT_EQ(cos({0x00, 0xB0, 0x00, 0x7E, 0x02}), (Bytes{0x12, 0x34, 0x90, 0x00}));
}

TEST_F(SmartCardsEndToEnd, IdCardRequestAndCommands) {
    const sim::IdCard::Id id{0x20, 0x24, 0x05, 0x21, 0xAA, 0x00, 0x01, 0x99};
    add<sim::IdCard>(id);
    unsigned char data[64] = {};
    int len = -1;
    EXPECT_EQ(rf_IDCard_Request(kDev, data, &len), code(sim::Status::NoCard)) << "field still in Type A";
    EXPECT_EQ(len, 0);
    fieldIn('B');
    ASSERT_EQ(rf_IDCard_Request(kDev, data, &len), 0);
    ASSERT_EQ(len, 8);
    EXPECT_EQ(Bytes(data, data + 8), Bytes(id.begin(), id.end()));

    Bytes select = selectApdu(sim::IdCardApp::defaultAid());
    unsigned char resp[256] = {};
    int respLen = -1;
    ASSERT_EQ(rf_IDCard_COS(kDev, select.data(), static_cast<int>(select.size()), resp, &respLen), 0);
    EXPECT_EQ(Bytes(resp, resp + respLen), kOk);
    unsigned char read[] = {0x00, 0xB0, 0x00, 0x00, 0x06};
    ASSERT_EQ(rf_sendcos_Identify(kDev, read, sizeof read, resp, &respLen), 0);
    EXPECT_EQ(sim::toHex(Bytes(resp, resp + respLen)), "53 41 4D 50 4C 45 90 00");
    unsigned char write[] = {0x00, 0xD6, 0x00, 0x00, 0x01, 0x58};
    ASSERT_EQ(rf_IDCard_COS(kDev, write, sizeof write, resp, &respLen), 0);
    EXPECT_EQ(Bytes(resp, resp + respLen), (Bytes{0x69, 0x82}));

    len = -1;
    ASSERT_EQ(rf_request_Identify(kDev, data, &len), 0) << "a second request in a row reads the card again";
    EXPECT_EQ(len, 8);
}

// The SAM commands of both generations on the slots they reach.
struct SamRoute {
    const char* what;
    unsigned char slot;
    bool newer; // rf_SAM_* (slot number) rather than the per-slot rf_*_byid
};

const SamRoute kRoutes[] = {
    {"slot 1, older", 1, false}, {"slot 2, older", 2, false}, {"slot 3, older", 3, false},
    {"slot 4, older", 4, false}, {"slot 1, newer", 1, true},  {"slot 3, newer", 3, true},
    {"slot 4, newer", 4, true},  {"slot 5, newer", 5, true},  {"slot 8, newer", 8, true},
};

int samBaud(const SamRoute& r, unsigned rate) {
    return r.newer ? rf_SAM_InitBaudrate(kDev, r.slot, rate)
                   : rf_init_sam_byid(kDev, r.slot, rf_SAM_GetBaudID(rate));
}
int samReset(const SamRoute& r, Bytes& atr) {
    unsigned char buf[64] = {}, len = 0;
    const int rc = r.newer ? rf_SAM_RST(kDev, r.slot, buf, &len) : rf_sam_rst_byid(kDev, r.slot, buf, &len);
    atr.assign(buf, buf + len);
    return rc;
}
int samPps(const SamRoute& r, unsigned rate) {
    return r.newer ? rf_SAM_SetPPS(kDev, r.slot, rate)
                   : rf_set_sam_pps_byid(kDev, r.slot, rf_SAM_GetBaudID(rate));
}
int samApdu(const SamRoute& r, Bytes apdu, Bytes& answer) {
    unsigned char resp[256] = {}, len = 0;
    const auto n = static_cast<unsigned char>(apdu.size());
    const int rc = r.newer ? rf_SAM_COS(kDev, r.slot, apdu.data(), n, resp, &len, 0)
                           : rf_sam_cos_byid(kDev, r.slot, apdu.data(), n, resp, &len);
    answer.assign(resp, resp + len);
    return rc;
}

TEST_F(SmartCardsEndToEnd, SamSlotsResetNegotiateAndExchangeThroughBothGenerations) {
    const Bytes select = selectApdu(sim::Sam::standardAid());
    const Bytes expectedAtr = sim::Sam::standard()->atr();
    for (const SamRoute& r : kRoutes) {
        reader.access([&](ReaderState&, Field&) {
            for (unsigned char n = 1; n <= sim::SamSlots::kSlotCount; ++n)
                slots->remove(n);
            slots->insert(r.slot, sim::Sam::standard());
        });
        Bytes atr, answer;
        EXPECT_EQ(samApdu(r, select, answer), sim::sam_status::NotActivated) << r.what;
        ASSERT_EQ(samBaud(r, 38400), 0) << r.what;
        EXPECT_EQ(samReset(r, atr), sim::sam_status::Mute) << r.what << ": the SAM sends its ATR at 9600";
        ASSERT_EQ(samBaud(r, 9600), 0) << r.what;
        ASSERT_EQ(samReset(r, atr), 0) << r.what;
        EXPECT_EQ(atr, expectedAtr) << r.what;
        EXPECT_EQ(samPps(r, 230400), sim::sam_status::PpsRefused) << r.what << ": above what TA1 18 allows";
        ASSERT_EQ(samReset(r, atr), 0) << r.what;
        EXPECT_EQ(samPps(r, 115200), 0) << r.what;
        ASSERT_EQ(samApdu(r, select, answer), 0) << r.what;
        EXPECT_EQ(answer, kOk) << r.what;
        ASSERT_EQ(samApdu(r, {0x00, 0xD6, 0x00, 0x00, 0x02, r.slot, 0xAA}, answer), 0) << r.what;
        ASSERT_EQ(samApdu(r, {0x00, 0xB0, 0x00, 0x00, 0x02}, answer), 0) << r.what;
        EXPECT_EQ(answer, (Bytes{r.slot, 0xAA, 0x90, 0x00})) << r.what;
        reader.access([&](ReaderState&, Field&) { EXPECT_EQ(slots->slot(r.slot).linkBaudId, 5) << r.what; });

        // Its neighbour is empty.
        const SamRoute empty{r.what, static_cast<unsigned char>(r.slot == 1 ? 2 : r.slot - 1), r.newer};
        EXPECT_EQ(samReset(empty, atr), sim::sam_status::Absent) << r.what;
        EXPECT_EQ(samApdu(empty, select, answer), sim::sam_status::Absent) << r.what;
        EXPECT_EQ(samPps(empty, 9600), sim::sam_status::Absent) << r.what;
    }
}

TEST_F(SmartCardsEndToEnd, SamSlotOneByTheFirstFunctionsAndTheProtocolSwitch) {
    sim::AtrProfile both;
    both.t0 = true;
    reader.access([&](ReaderState&, Field&) {
        slots->insert(1, std::make_unique<sim::Sam>(both, sim::SmartCardApp::sample()));
        slots->insert(4, std::make_unique<sim::Sam>(both, sim::SmartCardApp::sample()));
    });
    ASSERT_EQ(rf_init_sam(kDev, rf_SAM_GetBaudID(9600)), 0);
    unsigned char atr[64] = {}, atrLen = 0;
    ASSERT_EQ(rf_sam_rst(kDev, atr, &atrLen), 0);
    EXPECT_EQ(Bytes(atr, atr + atrLen), sim::buildAtr(both));

    unsigned char select[] = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xF0, 'V', 'R', 'K', 'A', 'P', 'P', 0x00};
    unsigned char resp[256] = {}, len = 0;
    ASSERT_EQ(rf_sam_cos(kDev, select, sizeof select, resp, &len), 0);
    EXPECT_EQ(sim::toHex(Bytes(resp, resp + len)), "61 0B") << "T=0 first: the FCI waits for GET RESPONSE";
    unsigned char getResponse[] = {0x00, 0xC0, 0x00, 0x00, 0x0B};
    ASSERT_EQ(rf_sam_cos(kDev, getResponse, sizeof getResponse, resp, &len), 0);
    EXPECT_EQ(len, 13);
    EXPECT_EQ(sim::toHex(Bytes(resp + 11, resp + 13)), "90 00");

    // 0x6A: slot 4's reset without data, the protocol of any slot with two bytes.
    EXPECT_EQ(rf_sam_set_protocol_byid(kDev, 4, 1), sim::sam_status::NotActivated);
    ASSERT_EQ(rf_sam_rst_byid(kDev, 4, atr, &atrLen), 0);
    ASSERT_EQ(rf_sam_set_protocol_byid(kDev, 4, 1), 0);
    ASSERT_EQ(rf_sam_cos_byid(kDev, 4, select, sizeof select, resp, &len), 0);
    EXPECT_EQ(len, 13) << "T=1 answers whole";
    EXPECT_EQ(rf_sam_set_protocol_byid(kDev, 4, 2), code(sim::Status::BadParameter));

    EXPECT_EQ(rf_SAM_RST(kDev, 0, atr, &atrLen), -1) << "slot 0 is refused by the library";
    EXPECT_EQ(rf_SAM_RST(kDev, 9, atr, &atrLen), code(sim::Status::BadParameter)) << "the reader has 8 slots";
}

} // namespace

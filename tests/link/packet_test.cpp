// Frame building and decoding, byte for byte.
#include "link/packet.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

using namespace testing_support;
using varrok::CCommPacket;

namespace {

Bytes built(const CCommPacket& f) { return Bytes(f.buffer(), f.buffer() + f.length()); }

CCommPacket received(const Bytes& raw) {
    CCommPacket f(0, 0, nullptr, 0);
    std::copy(raw.begin(), raw.end(), f.buffer());
    f.setLength(static_cast<std::uint32_t>(raw.size()));
    return f;
}

struct BuildCase {
    std::uint16_t address;
    std::uint8_t command;
    Bytes body;
    std::string wire;
};

TEST(Packet, BuildsRequestsByteForByte) {
    const BuildCase cases[] = {
        {0x0000, 0x13, {0x04}, "AA BB 05 FA 00 00 13 04 ED"},
        {0x0000, 0x03, {}, "AA BB 04 FB 00 00 03 F8"},
        {0x00AA, 0x13, {0xAA}, "AA BB 05 FA 00 AA 00 13 AA 00 E9"},
        {0x1234, 0x0B, {0x01}, "AA BB 05 FA 12 34 0B 01 D6"},
        {0x0000, 0xAA, {}, "AA BB 04 FB 00 00 AA 00 51"},
        // The checksum itself is stuffed when it comes out as AA.
        {0x0000, 0x00, {0x50}, "AA BB 05 FA 00 00 00 50 AA 00"},
        {0xAA00, 0x00, {0x0F}, "AA BB 05 FA AA 00 00 00 0F 5F"},
    };
    for (const auto& c : cases) {
        const CCommPacket f(c.address, c.command, c.body.data(), static_cast<int>(c.body.size()));
        EXPECT_EQ(toHex(built(f)), c.wire) << "command " << int(c.command);
    }
}

TEST(Packet, StuffingNeverTouchesStartBytesAndStaysInsideTheBuffer) {
    Bytes all(CCommPacket::kMaxBody, 0xAA);
    const CCommPacket full(0xAAAA, 0xAA, all.data(), static_cast<int>(all.size()));
    EXPECT_EQ(full.buffer()[0], 0xAA);
    EXPECT_EQ(full.buffer()[1], 0xBB);
    EXPECT_EQ(full.buffer()[2], 0xFF); // 251 + 4
    EXPECT_LE(full.length(), 2u + 2u * (CCommPacket::kMaxBody + 6));

    // Handed far more than one frame can carry, it still stops at its buffer.
    Bytes huge(5000, 0xAA);
    const CCommPacket over(0, 0x89, huge.data(), static_cast<int>(huge.size()));
    EXPECT_LE(over.length(), CCommPacket::kCapacity);
    const CCommPacket negative(0, 0x89, huge.data(), -7);
    EXPECT_EQ(toHex(built(negative)), "AA BB 04 FB 00 00 89 72");
}

TEST(Packet, DecodesAnswers) {
    CCommPacket f = received(hex("AA BB 07 F8 01 00 13 00 12 34 CC"));
    ASSERT_TRUE(f.decode());
    EXPECT_EQ(f.checksum(), 0);
    EXPECT_EQ(f.status(), 0);
    EXPECT_EQ(f.dataLength(), 2);
    std::uint8_t out[2] = {};
    EXPECT_TRUE(f.copyData(out, 2));
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0x34);
    EXPECT_EQ(f.responseAddress(), 0x0001);

    CCommPacket stuffed = received(hex("AA BB 05 FA 00 AA 00 13 AA 00 E9"));
    stuffed.decode();
    EXPECT_EQ(toHex(Bytes(stuffed.buffer(), stuffed.buffer() + stuffed.length())),
              "AA BB 05 FA 00 AA 13 AA E9");
    EXPECT_EQ(stuffed.checksum(), 0);
    EXPECT_EQ(stuffed.responseAddress(), 0xAA00);
}

TEST(Packet, OddAnswers) {
    // Length 0: the complement alone is left in the checksum, read as 252.
    CCommPacket zero = received(hex("AA BB 00 FF"));
    zero.decode();
    EXPECT_EQ(zero.checksum(), 0xFF);
    EXPECT_EQ(zero.status(), 252);
    EXPECT_EQ(zero.dataLength(), 0);

    // L = 3 has no room for data: 0, not -2.
    CCommPacket three = received(hex("AA BB 03 FC 00 00 13"));
    three.decode();
    EXPECT_EQ(three.dataLength(), 0);

    // A status-only answer copies nothing.
    CCommPacket bare = received(answer(0x00));
    bare.decode();
    std::uint8_t untouched = 0x5A;
    EXPECT_FALSE(bare.copyData(&untouched, 1));
    EXPECT_EQ(untouched, 0x5A);

    // A reader status comes through; a broken checksum reads 252.
    CCommPacket status = received(answer(0x0A));
    status.decode();
    EXPECT_EQ(status.status(), 0x0A);
    Bytes bad = answer(0x00, {0x01});
    bad.back() ^= 0x01;
    CCommPacket broken = received(bad);
    broken.decode();
    EXPECT_EQ(broken.status(), 252);
}

} // namespace

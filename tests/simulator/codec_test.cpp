// The reader's frame codec against hand-computed wire bytes, and the request
// parser against everything a serial line can throw at it.

#include <gtest/gtest.h>

#include <random>

#include "simulator/wire/codec.h"

namespace {

using sim::Bytes;
using sim::Drop;
using sim::Request;
using sim::Response;

// Un-stuffs a wire frame the way the host's receiver does: keep the start
// bytes, then drop the byte after every 0xAA. Written apart from the codec so
// the two cannot share a mistake.
Bytes unstuff(const Bytes& wire) {
    Bytes plain(wire.begin(), wire.begin() + 2);
    for (std::size_t i = 2; i < wire.size(); ++i) {
        plain.push_back(wire[i]);
        if (wire[i] == 0xAA) {
            EXPECT_LT(i + 1, wire.size()) << "0xAA at the end lacks its stuffing byte";
            EXPECT_EQ(wire[i + 1], 0x00) << "stuffing byte at " << i + 1;
            ++i;
        }
    }
    return plain;
}

// The frame's own promises: L counts offset 4 to the end, ~L is its
// complement, and the XOR from ~L through the checksum is zero.
void expectWellFormed(const Bytes& wire) {
    const Bytes plain = unstuff(wire);
    ASSERT_GE(plain.size(), 5u);
    EXPECT_EQ(plain[0], 0xAA);
    EXPECT_EQ(plain[1], 0xBB);
    EXPECT_EQ(plain[2] + 4u, plain.size());
    EXPECT_EQ(plain[3], static_cast<std::uint8_t>(~plain[2]));
    std::uint8_t x = 0;
    for (std::size_t i = 3; i < plain.size(); ++i)
        x ^= plain[i];
    EXPECT_EQ(x, 0);
}

std::vector<sim::Parsed> feedWhole(const Bytes& wire) {
    sim::RequestParser parser;
    return parser.feed(wire);
}

std::vector<Request> requestsOf(const std::vector<sim::Parsed>& parsed) {
    std::vector<Request> requests;
    for (const auto& p : parsed)
        if (p.request) requests.push_back(*p.request);
    return requests;
}

struct RequestCase {
    const char* name;
    Request request;
    Bytes wire;
};

// Worked examples of the reader protocol, plus one stuffed byte in each field.
const RequestCase kRequests[] = {
    {"block read", {0x0000, 0x13, {0x04}}, {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x13, 0x04, 0xED}},
    {"handshake", {0x0000, 0x03, {}}, {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x03, 0xF8}},
    {"stuffed address and body",
     {0x00AA, 0x13, {0xAA}},
     {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0xAA, 0x00, 0x13, 0xAA, 0x00, 0xE9}},
    {"stuffed address high", {0xAA01, 0x03, {}}, {0xAA, 0xBB, 0x04, 0xFB, 0xAA, 0x00, 0x01, 0x03, 0x53}},
    {"stuffed command", {0x0000, 0xAA, {}}, {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0xAA, 0x00, 0x51}},
    {"stuffed checksum",
     {0x0000, 0x13, {0x43}},
     {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x13, 0x43, 0xAA, 0x00}},
};

TEST(RequestCodec, EncodesWorkedExamplesByteExact) {
    for (const auto& c : kRequests)
        EXPECT_EQ(sim::encodeRequest(c.request), c.wire) << c.name;
}

TEST(RequestCodec, ParsesWorkedExamplesWholeByteByByteAndAtEverySplit) {
    for (const auto& c : kRequests) {
        SCOPED_TRACE(c.name);
        const auto whole = feedWhole(c.wire);
        ASSERT_EQ(whole.size(), 1u);
        EXPECT_EQ(whole[0].request, c.request);
        EXPECT_EQ(whole[0].raw, c.wire);

        sim::RequestParser bytewise;
        std::vector<Request> got;
        for (const std::uint8_t b : c.wire) {
            const auto parsed = bytewise.feed(Bytes{b});
            for (const auto& r : requestsOf(parsed))
                got.push_back(r);
        }
        EXPECT_EQ(got, std::vector<Request>{c.request});

        for (std::size_t cut = 1; cut < c.wire.size(); ++cut) {
            sim::RequestParser split;
            auto first = split.feed(Bytes(c.wire.begin(), c.wire.begin() + cut));
            EXPECT_TRUE(first.empty()) << "cut at " << cut;
            EXPECT_EQ(requestsOf(split.feed(Bytes(c.wire.begin() + cut, c.wire.end()))),
                      std::vector<Request>{c.request})
                << "cut at " << cut;
        }
    }
}

// Long bodies where the length byte or its complement is 0xAA itself.
TEST(RequestCodec, StuffsLengthAndComplementAndRoundTrips) {
    struct Case {
        std::size_t dataSize;
        Bytes header;
    } const cases[] = {
        {0xAA - 4, {0xAA, 0xBB, 0xAA, 0x00, 0x55}}, // L = AA
        {0x55 - 4, {0xAA, 0xBB, 0x55, 0xAA, 0x00}}, // ~L = AA
        {251, {0xAA, 0xBB, 0xFF, 0x00}},            // the largest request
    };
    for (const auto& c : cases) {
        Request request{0x1234, 0x62, Bytes(c.dataSize)};
        for (std::size_t i = 0; i < c.dataSize; ++i)
            request.data[i] = static_cast<std::uint8_t>(i * 7);
        const Bytes wire = sim::encodeRequest(request);
        EXPECT_TRUE(std::equal(c.header.begin(), c.header.end(), wire.begin())) << c.dataSize;
        expectWellFormed(wire);
        EXPECT_EQ(requestsOf(feedWhole(wire)), std::vector<Request>{request}) << c.dataSize;
    }
    EXPECT_THROW(sim::encodeRequest({0, 0x62, Bytes(252)}), std::length_error);
}

TEST(ResponseCodec, EncodesLowAddressByteFirstAndStuffsEveryField) {
    struct Case {
        const char* name;
        Response response;
        Bytes wire;
    } const cases[] = {
        {"worked example",
         {0x0001, 0x13, 0x00, {0x12, 0x34}},
         {0xAA, 0xBB, 0x07, 0xF8, 0x01, 0x00, 0x13, 0x00, 0x12, 0x34, 0xCC}},
        {"handshake answer",
         {0x0000, 0x03, 0x00, {}},
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x03, 0x00, 0xF9}},
        {"address low AA",
         {0x00AA, 0x03, 0x00, {}},
         {0xAA, 0xBB, 0x05, 0xFA, 0xAA, 0x00, 0x00, 0x03, 0x00, 0x53}},
        {"address high AA",
         {0xAA00, 0x03, 0x00, {}},
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0xAA, 0x00, 0x03, 0x00, 0x53}},
        {"command AA",
         {0x0000, 0xAA, 0x00, {}},
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0xAA, 0x00, 0x00, 0x50}},
        {"status AA", {0x0000, 0x13, 0xAA, {}}, {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x13, 0xAA, 0x00, 0x43}},
        {"data AA AA",
         {0x0000, 0x13, 0x00, {0xAA, 0xAA}},
         {0xAA, 0xBB, 0x07, 0xF8, 0x00, 0x00, 0x13, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0xEB}},
        {"checksum AA",
         {0x0000, 0x13, 0x00, {0x40}},
         {0xAA, 0xBB, 0x06, 0xF9, 0x00, 0x00, 0x13, 0x00, 0x40, 0xAA, 0x00}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::encodeResponse(c.response), c.wire) << c.name;
}

TEST(ResponseCodec, LongAnswersStayWellFormedAndTooLongOnesAreRefused) {
    for (const std::size_t size : {0xAAu - 5, 0x55u - 5, 250u}) {
        const Bytes wire = sim::encodeResponse({0x0102, 0x61, 0x00, Bytes(size, 0xAA)});
        expectWellFormed(wire);
        EXPECT_EQ(unstuff(wire).size(), size + 9);
    }
    EXPECT_THROW(sim::encodeResponse({0, 0x61, 0, Bytes(251)}), std::length_error);
}

TEST(ResponseCodec, CorruptedChecksumChangesOnlyTheChecksum) {
    const Response response{0x0001, 0x13, 0x00, {0x12, 0x34}};
    const Bytes good = unstuff(sim::encodeResponse(response));
    const Bytes bad = unstuff(sim::encodeResponse(response, sim::Checksum::Corrupted));
    ASSERT_EQ(good.size(), bad.size());
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 1, bad.begin()));
    EXPECT_NE(good.back(), bad.back());
}

// Each row: noise, then a good frame. The parser must report the noise as the
// listed drops, in order, and still deliver the good frame.
TEST(RequestParser, DropsBadInputAndResynchronises) {
    const Bytes good = {0xAA, 0xBB, 0x04, 0xFB, 0x00, 0x00, 0x03, 0xF8};
    struct Case {
        const char* name;
        Bytes noise;
        std::vector<Drop> drops;
    } const cases[] = {
        {"garbage", {0x12, 0x34, 0xBB}, {Drop::Garbage}},
        {"start byte alone", {0xAA}, {Drop::Garbage}},
        {"first start byte then stuffing", {0xAA, 0x00}, {Drop::Garbage}},
        {"bad complement",
         {0xAA, 0xBB, 0x05, 0xFB, 0x00, 0x00, 0x13, 0x04, 0xED},
         {Drop::BadComplement, Drop::Garbage}},
        {"bad checksum", {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x13, 0x04, 0xEE}, {Drop::BadChecksum}},
        {"length below 4", {0xAA, 0xBB, 0x03, 0xFC, 0x00, 0x00, 0x03}, {Drop::TooShort, Drop::Garbage}},
        {"length 0", {0xAA, 0xBB, 0x00, 0xFF}, {Drop::TooShort}},
        {"0xAA without stuffing",
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0xAA, 0x13, 0xAA, 0x00, 0xE9},
         {Drop::BadStuffing, Drop::Garbage}},
        {"cut short", {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00}, {Drop::Interrupted}},
        {"cut after the start bytes", {0xAA, 0xBB}, {Drop::Interrupted}},
        {"cut on an unstuffed 0xAA", {0xAA, 0xBB, 0x05, 0xFA, 0xAA}, {Drop::BadStuffing}},
        {"checksum 0xAA missing its stuffing",
         {0xAA, 0xBB, 0x05, 0xFA, 0x00, 0x00, 0x13, 0x43, 0xAA},
         {Drop::BadStuffing}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes wire = c.noise;
        wire.insert(wire.end(), good.begin(), good.end());
        const auto parsed = feedWhole(wire);
        ASSERT_EQ(parsed.size(), c.drops.size() + 1);
        for (std::size_t i = 0; i < c.drops.size(); ++i) {
            EXPECT_EQ(parsed[i].drop, c.drops[i]) << "item " << i;
            EXPECT_FALSE(parsed[i].request) << "item " << i;
        }
        EXPECT_EQ(parsed.back().raw, good);
        ASSERT_TRUE(parsed.back().request);
        EXPECT_EQ(parsed.back().request->command, 0x03);
    }
}

// Whatever garbage comes first, a good frame after it is found, and every
// byte received shows up in exactly one parsed item (the traffic log misses nothing).
TEST(RequestParser, RandomNoiseNeverHidesTheNextFrameNorLosesBytes) {
    std::mt19937 random(20240611);
    const Bytes symbols = {0xAA, 0xBB, 0x00, 0x04, 0xFB, 0x03, 0xF8, 0xFF};
    const Request request{0x0102, 0x61, {0x00, 0x00, 0x00, 0x10}};
    const Bytes good = sim::encodeRequest(request);
    for (int round = 0; round < 2000; ++round) {
        Bytes wire(random() % 24);
        for (auto& b : wire)
            b = random() % 2 ? symbols[random() % symbols.size()] : static_cast<std::uint8_t>(random());
        const std::size_t noise = wire.size();
        wire.insert(wire.end(), good.begin(), good.end());

        sim::RequestParser parser;
        std::vector<sim::Parsed> parsed;
        for (std::size_t at = 0; at < wire.size();) { // random chunking as a socket would deliver
            const std::size_t n = std::min<std::size_t>(1 + random() % 5, wire.size() - at);
            for (auto& p : parser.feed(std::span(wire).subspan(at, n)))
                parsed.push_back(std::move(p));
            at += n;
        }
        ASSERT_FALSE(parsed.empty());
        ASSERT_EQ(parsed.back().request, request) << "noise " << sim::toHex(std::span(wire).first(noise));
        Bytes seen;
        for (const auto& p : parsed)
            seen.insert(seen.end(), p.raw.begin(), p.raw.end());
        ASSERT_EQ(seen, wire);
    }
}

TEST(RequestParser, SeveralFramesInOneChunkComeOutInOrder) {
    Bytes wire;
    std::vector<Request> sent;
    for (std::uint8_t i = 0; i < 5; ++i) {
        sent.push_back(
            {static_cast<std::uint16_t>(0xAA00 + i), static_cast<std::uint8_t>(0xA8 + i), Bytes(i, 0xAA)});
        const Bytes frame = sim::encodeRequest(sent.back());
        wire.insert(wire.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(requestsOf(feedWhole(wire)), sent);
}

TEST(RequestParser, ResetForgetsAHalfReceivedFrame) {
    const Bytes good = sim::encodeRequest({0, 0x03, {}});
    sim::RequestParser parser;
    EXPECT_TRUE(parser.feed(Bytes(good.begin(), good.begin() + 5)).empty());
    parser.reset();
    // The tail of the old frame is now noise, not the end of a request.
    const auto parsed = parser.feed(Bytes(good.begin() + 5, good.end()));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].drop, Drop::Garbage);
}

} // namespace

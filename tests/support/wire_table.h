// A table runner for command rows: each row is one call and the request it
// must send. The runner answers it with data that fits, one byte too many,
// too few and none, and with a reader status, and checks what reaches the
// caller each time: a wrong answer must never leave stale or partial data behind.
#pragma once

#include "support/reader_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

using Call = std::function<int(unsigned char* out, unsigned char* len)>;

enum class Kind {
    None,     // answer data ignored, nothing written
    Exact,    // exactly n bytes into out, otherwise -5 and out untouched
    Variable, // whatever comes: its length into len, its bytes into out
    Counted,  // len always gets the length; out only when it is exactly n
};

struct Row {
    const char* what;
    Call call;
    std::string request; // address, command, data
    Kind kind;
    int n = 0;
};

struct Refusal {
    const char* what;
    std::function<int()> call;
    int rc;
    bool beforeLookup; // refused even when no reader is open
};

constexpr unsigned char kUntouched = 0xEE;

// Answer bytes that pass through AA (stuffed on the wire) and never equal kUntouched.
inline Bytes filler(std::size_t n, unsigned first = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((first - 1 + i) % 0xED + 1);
    return b;
}

// The same reply with its checksum off by one bit, stuffing kept right.
inline Bytes withBadChecksum(Bytes wire) {
    if (wire.size() >= 2 && wire[wire.size() - 2] == 0xAA && wire.back() == 0x00) {
        wire.pop_back();
        wire.back() = 0xAB;
    } else if ((wire.back() ^= 0x01) == 0xAA) {
        wire.push_back(0x00);
    }
    return wire;
}

class WireTable : public ReaderOnPeer {
  protected:
    static constexpr std::size_t kOut = 256 + 8;
    unsigned char out[kOut];
    unsigned char len = kUntouched;

    void clearOut() {
        std::memset(out, kUntouched, kOut);
        len = kUntouched;
    }
    Bytes outBytes(std::size_t n) const { return Bytes(out, out + n); }
    bool untouchedFrom(std::size_t from) const {
        return std::all_of(out + from, out + kOut, [](unsigned char b) { return b == kUntouched; });
    }
    int send(const Row& row, const Bytes& reply) {
        peer.script(reply);
        clearOut();
        const int rc = row.call(out, &len);
        EXPECT_EQ(lastRequest(), row.request);
        return rc;
    }
    void check(const Row& row) {
        SCOPED_TRACE(row.what);
        const auto n = static_cast<std::size_t>(row.n);
        const Bytes fits = filler(n);
        EXPECT_EQ(send(row, answer(0, fits)), 0);
        if (row.kind == Kind::None) {
            EXPECT_TRUE(untouchedFrom(0));
            EXPECT_EQ(len, kUntouched);
        } else {
            EXPECT_EQ(outBytes(n), fits);
            EXPECT_TRUE(untouchedFrom(n)) << "written beyond the answer";
            EXPECT_EQ(len, row.kind == Kind::Exact ? kUntouched : n);
        }
        std::vector<std::size_t> wrong = {n + 1};
        if (n > 0) wrong.push_back(n - 1);
        if (n > 1) wrong.push_back(0);
        for (const std::size_t w : wrong) {
            SCOPED_TRACE("answer of " + std::to_string(w) + " bytes");
            const int rc = send(row, answer(0, filler(w, 7)));
            switch (row.kind) {
            case Kind::None:
                EXPECT_EQ(rc, 0);
                EXPECT_TRUE(untouchedFrom(0));
                EXPECT_EQ(len, kUntouched);
                break;
            case Kind::Exact:
                EXPECT_EQ(rc, -5);
                EXPECT_TRUE(untouchedFrom(0));
                EXPECT_EQ(len, kUntouched);
                break;
            case Kind::Variable:
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(len, w);
                EXPECT_EQ(outBytes(w), filler(w, 7));
                EXPECT_TRUE(untouchedFrom(w));
                break;
            case Kind::Counted:
                EXPECT_EQ(rc, -5);
                EXPECT_EQ(len, w);
                EXPECT_TRUE(untouchedFrom(0));
                break;
            }
        }
        const struct {
            const char* what;
            Bytes reply;
            int rc;
        } failures[] = {
            {"reader status", answer(0x0A, fits), 10},
            {"broken checksum", withBadChecksum(answer(0, fits)), 252},
            {"broken header", hex("AA BC 05 FA"), 9},
        };
        for (const auto& f : failures) {
            EXPECT_EQ(send(row, f.reply), f.rc) << f.what;
            EXPECT_TRUE(untouchedFrom(0)) << f.what;
            EXPECT_EQ(len, kUntouched) << f.what;
        }
    }
    // Every request sent since the last look, in order (composite calls send several).
    std::vector<std::string> requestsSince(std::size_t expected) {
        peer.waitForRequests(sent + expected, 500);
        const auto all = peer.requests();
        std::vector<std::string> got;
        for (std::size_t i = sent; i < all.size(); ++i)
            got.push_back(toHex(unstuffedBody(all[i])));
        sent = all.size();
        return got;
    }
    void checkWithoutReader(const std::vector<Row>& rows) {
        ReaderClose(0);
        for (const Row& row : rows) {
            clearOut();
            EXPECT_EQ(row.call(out, &len), -1) << row.what;
            EXPECT_TRUE(untouchedFrom(0)) << row.what;
            EXPECT_EQ(len, kUntouched) << row.what;
        }
        EXPECT_TRUE(nothingSent());
    }
    void checkRefusals(const std::vector<Refusal>& refusals) {
        for (const bool open : {true, false}) {
            if (!open) ReaderClose(0);
            for (const Refusal& r : refusals) {
                clearOut();
                EXPECT_EQ(r.call(), open || r.beforeLookup ? r.rc : -1)
                    << r.what << (open ? "" : " (no reader)");
                EXPECT_TRUE(untouchedFrom(0)) << r.what;
                EXPECT_EQ(len, kUntouched) << r.what;
            }
            EXPECT_TRUE(nothingSent());
        }
    }
};

} // namespace testing_support

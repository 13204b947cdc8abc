// Bad input at the library's edge: null pointers and out-of-range arguments
// must be refused with the documented code, without a byte going to the
// reader and without touching the caller's other buffers. The rows live in
// bad_input_rows.h; the last test here keeps that table in step with the
// public header, so a new export taking a pointer cannot arrive without a row.
#include "commands/bad_input_rows.h"
#include "support/reader_fixture.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace testing_support;
using namespace bad_input;

namespace {

constexpr unsigned char kFill = 0x05;

// The positions of p[0], p[1], ... in a row's argument text, in order of appearance.
std::vector<int> pointerSlots(const std::string& args) {
    std::vector<int> slots;
    const std::regex slot(R"(\bp\[(\d+)\])");
    for (auto it = std::sregex_iterator(args.begin(), args.end(), slot); it != std::sregex_iterator(); ++it)
        slots.push_back(std::stoi((*it)[1]));
    return slots;
}

std::string describe(const NullRow& row, int nullAt) {
    return std::string(row.name) + "(" + row.args + ") with p[" + std::to_string(nullAt) + "] null";
}

class BadInput : public ReaderOnPeer {
protected:
    alignas(8) unsigned char buffers[3][256];

    Pointers pointers(int nullAt) {
        std::memset(buffers, kFill, sizeof buffers);
        Pointers p{};
        for (int i = 0; i < 3; ++i) p[i] = i == nullAt ? nullptr : buffers[i];
        return p;
    }
    bool untouched(int i) const {
        return std::all_of(std::begin(buffers[i]), std::end(buffers[i]), [](unsigned char b) { return b == kFill; });
    }
    std::size_t requestCount() { return peer.requests().size(); }

    // Each pointer of each row null in turn; the others stay valid.
    void nullEachPointer(bool readerOpen) {
        for (const NullRow& row : kNullRows) {
            const int expected = readerOpen ? row.codes.withReader : row.codes.withoutReader;
            const auto slots = pointerSlots(row.args);
            ASSERT_FALSE(slots.empty()) << row.name << " has no pointer argument";
            for (const int nullAt : slots) {
                SCOPED_TRACE(describe(row, nullAt));
                const std::size_t before = requestCount();
                EXPECT_EQ(row.call(pointers(nullAt)), expected);
                EXPECT_EQ(requestCount(), before) << "a request went to the reader";
                for (const int other : slots) {
                    if (other == nullAt || (row.writtenFirst & (1u << other)) != 0) continue;
                    EXPECT_TRUE(untouched(other)) << "p[" << other << "] was written";
                }
            }
        }
    }
};

TEST_F(BadInput, NullPointersWithAReaderAreRefusedAndNothingIsSent) { nullEachPointer(true); }

TEST_F(BadInput, NullPointersWithoutAReaderGiveTheLookupCodeFirst) {
    ReaderClose(0);
    nullEachPointer(false);
}

// Without this, a row could pass because some other argument was refused.
TEST_F(BadInput, EveryRowReachesTheReaderWhenNoPointerIsNull) {
    for (const NullRow& row : kNullRows) {
        if (!row.reachesReader) continue;
        SCOPED_TRACE(std::string(row.name) + "(" + row.args + ")");
        // Two replies: some calls ask twice (a request retried) before giving up.
        peer.script(answer(0));
        peer.script(answer(0));
        const std::size_t before = requestCount();
        row.call(pointers(-1));
        peer.waitForRequests(before + 1, 500);
        EXPECT_GT(requestCount(), before) << "nothing was sent";
        peer.clearScript();
    }
}

TEST_F(BadInput, RangeEdgesJustInsideAreSentJustOutsideRefused) {
    for (const Boundary& b : kBoundaries) {
        SCOPED_TRACE(b.what);
        peer.script(answer(0));
        b.inside(pointers(-1));
        const std::string request = lastRequest();
        EXPECT_EQ(request.substr(0, std::strlen(b.request)), b.request);
        EXPECT_EQ(request.size(), 3u * (3u + static_cast<unsigned>(b.dataBytes)) - 1u)
            << "expected " << b.dataBytes << " data bytes";
        peer.clearScript();

        EXPECT_EQ(b.outside(pointers(-1)), b.code) << "just outside";
        EXPECT_TRUE(nothingSent()) << "just outside";
    }
}

TEST_F(BadInput, RangeEdgesWithoutAReader) {
    ReaderClose(0);
    for (const Boundary& b : kBoundaries) {
        SCOPED_TRACE(b.what);
        EXPECT_EQ(b.inside(pointers(-1)), -1) << "just inside";
        EXPECT_EQ(b.outside(pointers(-1)), b.beforeLookup ? b.code : -1) << "just outside";
    }
    EXPECT_TRUE(nothingSent());
}

// Reader handles are the other argument the library vets: only the handle of
// an open reader is served, and a replaced reader's handle is never reused.
TEST_F(BadInput, ReaderHandlesOtherThanTheOpenOneAreRefused) {
    const long long replaced = ReaderOpen(peer.openText().c_str());
    const long long handle = ReaderOpen(peer.openText().c_str());
    ASSERT_GT(replaced, 0);
    ASSERT_GT(handle, replaced) << "re-opening the same port gives a new handle";

    peer.script(answer(0));
    EXPECT_EQ(ReaderHandshake(handle, 0x0102), 0);
    EXPECT_EQ(lastRequest(), "01 02 03");

    const struct {
        const char* what;
        int rc;
    } refused[] = {
        {"handshake, handle one past", ReaderHandshake(handle + 1, 0x0102)},
        {"handshake, the replaced reader's handle", ReaderHandshake(replaced, 0x0102)},
        {"handshake, handle 0", ReaderHandshake(0, 0x0102)},
        {"close, handle one past", ReaderClose(handle + 1)},
        {"close, the replaced reader's handle", ReaderClose(replaced)},
        {"close, a connection that was never made", rf_ClosePortVer5(0x1000)},
    };
    for (const auto& r : refused) EXPECT_EQ(r.rc, -6) << r.what;
    EXPECT_TRUE(nothingSent());

    // The refusals left the open reader alone.
    peer.script(answer(0));
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), 0);
    EXPECT_EQ(lastRequest(), "00 00 06 01");
    EXPECT_EQ(ReaderClose(handle), 0);
    EXPECT_EQ(ReaderClose(handle), -6) << "a closed handle stays closed";
}

// The public header, found next to this source unless the build names it.
std::string headerPath() {
#ifdef VARROK_HEADER_FILE
    return VARROK_HEADER_FILE;
#else
    return (std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "include" / "varrok.h").string();
#endif
}

// Every declared function and the number of its pointer parameters.
std::map<std::string, int> declaredPointerParameters() {
    std::ifstream header(headerPath());
    std::stringstream text;
    text << header.rdbuf();
    const std::string all = text.str();
    const std::regex declaration(R"(\nVARROK_API\s+[^;(]*?([A-Za-z_][A-Za-z0-9_]*)\s*\(([^)]*)\)\s*;)");
    std::map<std::string, int> found;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), declaration); it != std::sregex_iterator(); ++it) {
        const std::string params = (*it)[2];
        int pointers = 0;
        std::stringstream list(params);
        for (std::string param; std::getline(list, param, ',');)
            if (param.find('*') != std::string::npos) ++pointers;
        found[(*it)[1]] = pointers;
    }
    return found;
}

TEST(BadInputTable, CoversEveryExportThatTakesAPointer) {
    const auto declared = declaredPointerParameters();
    ASSERT_FALSE(declared.empty()) << "could not read " << headerPath();

    std::set<std::string> covered;
    for (const NullRow& row : kNullRows) {
        SCOPED_TRACE(row.name);
        const auto it = declared.find(row.name);
        ASSERT_NE(it, declared.end()) << "a row for a function the header does not declare";
        // Every pointer parameter is handed over as p[i], each once, in order.
        std::vector<int> expected(static_cast<std::size_t>(it->second));
        for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
        EXPECT_EQ(pointerSlots(row.args), expected) << "pointer arguments of the row: " << row.args;
        covered.insert(row.name);
    }
    int withPointers = 0;
    for (const auto& [name, pointers] : declared) {
        if (pointers == 0) continue;
        ++withPointers;
        EXPECT_TRUE(covered.count(name)) << name << " takes a pointer and has no row in the null-pointer table";
    }
    EXPECT_EQ(static_cast<std::size_t>(withPointers), covered.size());
}

} // namespace

// A reader that misbehaves, for a command of each answer kind and each card
// family: every call ends in an error within its time-out, never writes into
// the caller's buffers, and the next command after the fault works.
#include "link/bus_tcp.h"
#include "link/exchange.h"
#include "simulator/commands/families.h"
#include "simulator/reader/reader.h"
#include "simulator/scenario/scenario.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

constexpr const char* kField = R"({"sams": [{"slot": 1}], "cards": [
    {"kind": "classic1k", "uid": "11223344"},
    {"kind": "iso15693", "maker": 4, "serial": 77},
    {"kind": "sr176", "uid": "0102030405060708"},
    {"kind": "typeb", "pupi": "A1B2C3D4"},
    {"kind": "desfire", "uid": "04112233445566"}
]})";

// The caller's buffers, filled with a mark that must survive every failure.
struct Buffers {
    unsigned char data[256 + 16];
    unsigned char len;
    Buffers() { reset(); }
    void reset() {
        std::fill(std::begin(data), std::end(data), 0xE7);
        len = 0xE7;
    }
    bool untouched() const {
        return len == 0xE7 &&
               std::all_of(std::begin(data), std::end(data), [](unsigned char b) { return b == 0xE7; });
    }
};

struct Case {
    const char* what;
    unsigned timeoutMs;            // the command's own time-out
    std::function<void()> prepare; // puts the card in the state the command needs, fault-free
    std::function<int(Buffers&)> call;
};

unsigned char kKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

void field(unsigned char type) {
    rf_Reader_SetAntenna(0, 0);
    rf_Reader_SetISOType(0, type);
    rf_Reader_SetAntenna(0, 1);
}

// Several Type A cards lie in the field: halt the others until the one
// with this SAK is the selected card.
void selectBySak(unsigned char sak) {
    field('A');
    Buffers b;
    for (int i = 0; i < 4; ++i) {
        if (rf_ISO14443A_GetCard(0, 0x26, b.data, &b.len) != 0) return;
        if (b.data[2] == sak) return;
        rf_ISO14443A_Halt(0);
    }
}

void classicSession() {
    selectBySak(0x08);
    rf_M1_Authentication(0, 0x60, 4, kKey);
}

void desfireSelected() { selectBySak(0x20); }

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"reader: none", 100, [] {}, [](Buffers&) { return rf_Reader_SetBeep(0, 1); }},
        {"reader: exact", 100, [] {}, [](Buffers& b) { return rf_Reader_GetFirmwareVer(0, b.data); }},
        {"reader: empty", 200, [] {}, [](Buffers& b) { return rf_Reader_FlashWrite(0, 1, 0, 4, b.data); }},
        {"type A: variable", 200, [] { field('A'); },
         [](Buffers& b) { return rf_ISO14443A_GetCard(0, 0x52, b.data, &b.len); }},
        {"classic: exact", 200, classicSession, [](Buffers& b) { return rf_M1_Read(0, 4, b.data); }},
        {"classic: counted", 200, classicSession,
         [](Buffers& b) { return rf_M1_MultiRead(0, 4, 3, b.data, &b.len); }},
        {"15693: counted inventory", 200, [] { field('1'); },
         [](Buffers& b) { return rf_ISO15693_Inventory(0, b.data, &b.len); }},
        {"ST: exact", 200, [] { field('s'); }, [](Buffers& b) { return rf_ST_GetCard(0, b.data); }},
        {"DESFire: exact", 200, desfireSelected, [](Buffers& b) { return rf_DF_GetVer(0, b.data); }},
        {"DESFire: list", 200, desfireSelected,
         [](Buffers& b) { return rf_DF_GetAppIDs(0, b.data, &b.len); }},
        {"SAM: variable", 100, [] {}, [](Buffers& b) { return rf_sam_rst(0, b.data, &b.len); }},
        {"type B: exact", 200, [] { field('B'); },
         [](Buffers& b) { return rf_ISO14443B_Request(0, 1, b.data); }},
        {"ISO 14443-4: variable", 200,
         [] {
             field('B');
             unsigned char atqb[12], pupi[4] = {0xA1, 0xB2, 0xC3, 0xD4};
             rf_ISO14443B_Request(0, 1, atqb);
             rf_ISO14443B_Attribute(0, pupi, 0);
         },
         [](Buffers& b) {
             unsigned char challenge[5] = {0x00, 0x84, 0x00, 0x00, 0x08};
             return rf_ISO14443_4_COS(0, challenge, 5, b.data, &b.len, 200);
         }},
    };
    return all;
}

struct FaultCase {
    const char* what;
    sim::Fault fault;
    int expected;
    bool waitsOut; // costs the command's time-out
};

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        const sim::Equipment equipment = sim::installAllFamilies(reader);
        sim::Scenario scenario = sim::parseScenario(kField, sim::allCardKinds());
        sim::placeSams(scenario.sams, *equipment.sams);
        sim::applyScenario(std::move(scenario), reader);
        tcp.start(0);
        text = "TCP://127.0.0.1:" + std::to_string(tcp.port());
        ASSERT_GT(ReaderOpen(text.c_str()), 0);
    }
    void TearDown() override { ReaderClose(0); }

    sim::Reader reader;
    sim::TcpServer tcp{reader};
    std::string text;
};

TEST_F(FaultInjection, EveryFaultOnEveryKindOfAnswer) {
    const FaultCase faults[] = {
        {"silent", sim::Fault::silent(), 9, true},
        {"late", sim::Fault::late(milliseconds(350)), 9, true},
        {"cut in the header", sim::Fault::cutAfter(2), 9, true},
        {"bad checksum", sim::Fault::badChecksum(), 252, false},
        {"flood of AA", sim::Fault::flood(2500), -5, false},
        {"connection closed mid-frame", sim::Fault::closeAfter(6), -5, false},
    };
    int injected = 0;
    for (const Case& c : cases()) {
        for (const FaultCase& f : faults) {
            SCOPED_TRACE(std::string(c.what) + " / " + f.what);
            c.prepare();
            Buffers b;
            const std::size_t fault = reader.faults().taken() + 1;
            reader.faults().once(f.fault);
            const auto start = steady_clock::now();
            const int rc = c.call(b);
            const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
            ++injected;
            EXPECT_EQ(rc, f.expected);
            EXPECT_TRUE(b.untouched());
            EXPECT_LE(took, f.waitsOut ? c.timeoutMs + 150 : 150);
            if (f.fault.kind == sim::FaultKind::Late) {
                ASSERT_TRUE(reader.faults().waitSent(fault, seconds(5)));
            }
            if (f.fault.kind == sim::FaultKind::CloseConnection) {
                ASSERT_GT(ReaderOpen(text.c_str()), 0);
            }
            c.prepare();
            b.reset();
            EXPECT_EQ(c.call(b), 0) << "the command after the fault";
        }
    }
    RecordProperty("faults_injected", injected);
}

// The real transport, except that a request answered with a cut returns
// only once the simulator has written out the cut answer: the short waits
// below then time only the bytes that never come, however loaded the machine.
class AnsweredBeforeReading : public varrok::CCommBusTcp {
  public:
    explicit AnsweredBeforeReading(sim::Reader& reader) : reader_(reader) {}
    bool cutAnswerComes = false;
    int write(const std::uint8_t* src, int n) override {
        const std::size_t fault = reader_.faults().taken() + 1;
        const int written = CCommBusTcp::write(src, n);
        if (cutAnswerComes) {
            EXPECT_TRUE(reader_.faults().waitSent(fault, seconds(5)));
        }
        return written;
    }

  private:
    sim::Reader& reader_;
};

// Cutting the answer at every byte, on the link itself with a short wait so
// that each body cut (3 x (L + 4) empty reads of 5 ms) stays quick.
TEST_F(FaultInjection, AnswerCutAtEveryPosition) {
    AnsweredBeforeReading bus(reader);
    ASSERT_EQ(bus.open(text.c_str()), 0);
    auto read = [&](int& rc, unsigned wait) {
        varrok::CCommPacket frame(0, 0x05, nullptr, 0); // serial number: 8 bytes of answer
        rc = varrok::exchange(bus, frame, wait);
        return frame;
    };
    int rc = 0;
    read(rc, 50);
    ASSERT_EQ(rc, 0);
    const std::size_t whole = 4 + 13; // header, then L = 13
    for (std::size_t cut = 0; cut < whole; ++cut) {
        reader.faults().once(sim::Fault::cutAfter(cut));
        bus.cutAnswerComes = cut > 0; // a cut before the first byte sends nothing
        read(rc, 5);
        bus.cutAnswerComes = false;
        EXPECT_EQ(rc, cut < 4 ? 9 : -5) << "cut after " << cut << " bytes";
        read(rc, 50);
        EXPECT_EQ(rc, 0) << "after the cut at " << cut;
    }
}

TEST(ReaderGone, ListenerOrPseudoTerminalDisappears) {
    sim::Reader reader;
    {
        sim::TcpServer tcp{reader};
        tcp.start(0);
        const std::string text = "TCP://127.0.0.1:" + std::to_string(tcp.port());
        ASSERT_GT(ReaderOpen(text.c_str()), 0);
        tcp.stop();
        unsigned char sn[8];
        const auto start = steady_clock::now();
        EXPECT_NE(rf_Reader_GetSN(0, sn), 0);
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 300);
        EXPECT_EQ(ReaderOpen(text.c_str()), -1) << "nobody listens any more";
        tcp.start(0);
        ASSERT_GT(ReaderOpen(("TCP://127.0.0.1:" + std::to_string(tcp.port())).c_str()), 0);
        EXPECT_EQ(rf_Reader_GetSN(0, sn), 0);
        ReaderClose(0);
    }
    {
        sim::PtyServer pty{reader};
        pty.start();
        ::setenv("VARROK_COM21", pty.path().c_str(), 1);
        ASSERT_GT(ReaderOpen("COM21:115200"), 0);
        pty.stop();
        unsigned char sn[8];
        const auto start = steady_clock::now();
        EXPECT_NE(rf_Reader_GetSN(0, sn), 0);
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 300);
        pty.start();
        ::setenv("VARROK_COM21", pty.path().c_str(), 1);
        ASSERT_GT(ReaderOpen("COM21:115200"), 0);
        EXPECT_EQ(rf_Reader_GetSN(0, sn), 0);
        ReaderClose(0);
    }
}

} // namespace

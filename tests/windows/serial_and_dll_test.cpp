// What only a Windows build can show: the serial transport on the Windows
// serial API against the simulator's pseudo-terminal (COM21 is the prefix's
// dosdevices link to it), and Varrok.dll itself, loaded as the card tool
// loads it, reaching the same reader over both transports.
#include "link/bus_com.h"
#include "link/bus_tcp.h"
#include "simulator/remote.h"
#include "varrok.h"

#include <windows.h>

#include <chrono>
#include <gtest/gtest.h>
#include <string>

using namespace std::chrono;

namespace {

// GetProcAddress hands back a generic function pointer; the header's own
// declaration gives each entry its type.
template <typename F> F entry(HMODULE dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, name)));
}

bool underWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

constexpr int kCom = 21;
const std::string kComText = "COM" + std::to_string(kCom) + ":115200";

class OnSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        tcp.start();
        pty.start();
        ASSERT_EQ(::setenv(("VARROK_COM" + std::to_string(kCom)).c_str(), pty.path().c_str(), 1), 0);
        tcpText = "TCP://127.0.0.1:" + std::to_string(tcp.port());
    }
    void TearDown() override { ReaderClose(0); }

    sim::Reader reader;
    sim::TcpServer tcp{reader};
    sim::PtyServer pty{reader};
    std::string tcpText;
};

TEST_F(OnSimulator, SerialOpenTextsAndExclusiveUse) {
    const struct {
        const char* text;
        int rc;
    } rows[] = {
        {"CO", -1},            // no number at all: nothing beyond the text is read
        {"COM0:9600", -1},     // numbers outside 1..1024 touch no device
        {"COM1025:9600", -1},
        {"COMX:9600", -1},
        {"COM21", -2},         // no colon: a baud rate of 0, refused, port closed again
        {"COM21:12345", -2},   // a rate no reader line runs at
        {"COM200:9600", -2},   // a number with no device behind it
        {"COM21:115200", 0},
    };
    for (const auto& row : rows) {
        varrok::CCommBusCom bus;
        EXPECT_EQ(bus.open(row.text), row.rc) << row.text;
        EXPECT_EQ(bus.isOpen(), row.rc == 0) << row.text;
        bus.close();
    }
    varrok::CCommBusCom first, second;
    ASSERT_EQ(first.open(kComText.c_str()), 0);
    EXPECT_EQ(first.devicePath(), "\\\\.\\COM21");
    // Windows refuses a second open of a port opened with share mode 0; Wine
    // does not enforce sharing on serial devices, so there it opens twice.
    if (!underWine()) {
        EXPECT_EQ(second.open(kComText.c_str()), -2) << "a COM port is opened exclusively";
    }
    first.close();
    EXPECT_TRUE(first.close()) << "closing twice is harmless";
    EXPECT_EQ(second.open(kComText.c_str()), 0) << "free again once closed";
}

// Each fault once on the serial line, then the next command: late answers,
// cut and flooded ones must all be gone before the next exchange reads.
TEST_F(OnSimulator, SerialLineRecoversFromEveryFault) {
    ASSERT_GT(ReaderOpen(kComText.c_str()), 0);
    unsigned char sn[8], again[8];
    ASSERT_EQ(rf_Reader_GetSN(0, sn), 0);
    const struct {
        sim::Fault fault;
        int rc;
    } faults[] = {
        {sim::Fault::silent(), 9},        {sim::Fault::late(milliseconds(300)), 9},
        {sim::Fault::cutAfter(2), 9},     {sim::Fault::badChecksum(), 252},
        {sim::Fault::flood(2500), -5},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(sim::describe(f.fault));
        const std::size_t fault = reader.faults().taken() + 1;
        reader.faults().once(f.fault);
        const auto start = steady_clock::now();
        EXPECT_EQ(rf_Reader_GetSN(0, again), f.rc);
        // Within the command's own wait, with room for a loaded machine under Wine.
        EXPECT_LE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 500);
        if (f.fault.kind == sim::FaultKind::Late) {
            ASSERT_TRUE(reader.faults().waitSent(fault, seconds(5)));
        }
        std::fill(std::begin(again), std::end(again), 0);
        EXPECT_EQ(rf_Reader_GetSN(0, again), 0) << "the command after the fault";
        EXPECT_TRUE(std::equal(std::begin(sn), std::end(sn), std::begin(again)));
    }
}

TEST_F(OnSimulator, NetworkOpenFailsFastWithoutAListener) {
    const std::string gone = tcpText;
    tcp.stop();
    for (const std::string& text : {gone, std::string("TCP://LOCALHOST:1"), std::string("TCP://")}) {
        const auto start = steady_clock::now();
        EXPECT_EQ(ReaderOpen(text.c_str()), -1) << text;
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 1000) << text;
    }
}

// The DLL the card tool loads, by name, from the program's folder.
TEST_F(OnSimulator, DllServesBothTransports) {
    const HMODULE dll = ::LoadLibraryW(L"Varrok.dll");
    ASSERT_NE(dll, nullptr) << "Varrok.dll beside the test program";
    const auto open = entry<decltype(&ReaderOpen)>(dll, "ReaderOpen");
    const auto close = entry<decltype(&ReaderClose)>(dll, "ReaderClose");
    const auto getSn = entry<decltype(&rf_Reader_GetSN)>(dll, "rf_Reader_GetSN");
    const auto version = entry<decltype(&lib_ver)>(dll, "lib_ver");
    ASSERT_TRUE(open && close && getSn && version);
    EXPECT_EQ(::GetProcAddress(dll, "_ZN6varrok8exchangeERNS_8CCommBusERNS_11CCommPacketEj"), nullptr)
        << "nothing but the C functions leaves the DLL";
    unsigned int v = 0;
    EXPECT_EQ(version(&v), 0);
    EXPECT_EQ(v, 26646u);

    unsigned char overTcp[8] = {}, overCom[8] = {};
    std::string lower = tcpText;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const long long net = open(lower.c_str());
    ASSERT_GT(net, 0);
    EXPECT_EQ(getSn(0, overTcp), 0);
    EXPECT_EQ(close(net), 0);
    const long long com = open(kComText.c_str());
    ASSERT_GT(com, net) << "handles are never reused";
    EXPECT_EQ(getSn(0, overCom), 0);
    EXPECT_TRUE(std::equal(std::begin(overTcp), std::end(overTcp), std::begin(overCom)));
    EXPECT_EQ(close(com), 0);
    EXPECT_EQ(close(com), -6);
    ::FreeLibrary(dll);
}

} // namespace

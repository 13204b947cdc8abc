// The frame trace follows VARROK_TRACE and VARROK_TRACE_FORMAT while the
// program runs: switched on, off, to another file and to pcap between calls.
#include "support/scripted_peer.h"
#include "varrok.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FrameTrace, FollowsTheVariablesBetweenCalls) {
    const fs::path dir = fs::temp_directory_path() / ("varrok-trace-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path first = dir / "first.txt", second = dir / "second.txt", pcap = dir / "frames.pcap";
    ScriptedPeer peer;
    const long long reader = ReaderOpen(peer.openText().c_str());
    ASSERT_GT(reader, 0);
    const auto beep = [&] {
        peer.script(answer(0));
        EXPECT_EQ(rf_Reader_SetBeep(0, 1), 0);
    };

    beep(); // no trace asked for: nothing is written anywhere
    setenv("VARROK_TRACE", first.c_str(), 1);
    beep();
    const std::string once = contents(first);
    EXPECT_NE(once.find(" -> rf_Reader_SetBeep command 06, 1 data bytes | AA BB 05 FA 00 00 06 01 FD"),
              std::string::npos)
        << once;
    EXPECT_NE(once.find(" <- rf_Reader_SetBeep status 00 ok, 0 data bytes |"), std::string::npos) << once;

    unsetenv("VARROK_TRACE");
    beep();
    EXPECT_EQ(contents(first), once) << "switched off, the file must not grow";

    setenv("VARROK_TRACE", second.c_str(), 1);
    beep();
    EXPECT_EQ(contents(first), once);
    EXPECT_NE(contents(second).find("rf_Reader_SetBeep"), std::string::npos);

    setenv("VARROK_TRACE_FORMAT", "pcap", 1);
    setenv("VARROK_TRACE", pcap.c_str(), 1);
    beep();
    unsetenv("VARROK_TRACE");
    unsetenv("VARROK_TRACE_FORMAT");
    beep(); // closes the pcap file
    const std::string packets = contents(pcap);
    // Header, then two packets: 16-byte record header, direction, name length, name, a 9-byte frame.
    const std::string name = peer.openText();
    ASSERT_EQ(packets.size(), 24u + 2 * (16 + 2 + name.size() + 9));
    EXPECT_EQ(packets.compare(0, 4, "\xD4\xC3\xB2\xA1"), 0);
    EXPECT_EQ(packets[24 + 16], 0) << "request first";
    EXPECT_EQ(packets.substr(24 + 18, name.size()), name);

    ReaderClose(reader);
    fs::remove_all(dir);
}

} // namespace

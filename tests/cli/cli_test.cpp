// The command-line tool end to end: the real varrok program against the
// real simulator program over TCP, checked by exit code and JSON.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kHere = VARROK_CLI_TESTS;

// A simulator process serving one scenario; counts the requests it answers.
class Simulator {
  public:
    explicit Simulator(const std::string& scenario, const char* fault = nullptr) {
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        const std::string path = scenario.starts_with('/') ? scenario : kHere + "/" + scenario;
        const char* argv[] = {
            VARROK_SIM, "--tcp", "0", "--verbose", "--scenario", path.c_str(), fault ? "--fault" : nullptr,
            fault,      nullptr};
        EXPECT_EQ(posix_spawn(&pid_, VARROK_SIM, &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        FILE* banner = fdopen(out[0], "r");
        char line[128] = {};
        int port = 0;
        while (port == 0 && std::fgets(line, sizeof line, banner) != nullptr)
            std::sscanf(line, "tcp 127.0.0.1:%d", &port);
        std::fclose(banner);
        text_ = "TCP://127.0.0.1:" + std::to_string(port);
        // --verbose logs each request as "<link> -> <bytes>" on standard error.
        reader_ = std::thread([this, fd = err[0]] {
            FILE* log = fdopen(fd, "r");
            char entry[4096];
            while (std::fgets(entry, sizeof entry, log) != nullptr)
                if (std::strstr(entry, " -> ") != nullptr) ++requests_;
            std::fclose(log);
        });
    }
    ~Simulator() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        reader_.join();
    }
    const std::string& text() const { return text_; }
    // Requests answered so far, once the log has caught up with them.
    int requests() const {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return requests_;
    }

  private:
    pid_t pid_ = 0;
    std::string text_;
    std::atomic<int> requests_{0};
    std::thread reader_;
};

struct Outcome {
    int exit = -1;
    Json json;
};

Outcome varrok(const std::string& reader, const std::string& args) {
    const std::string command = "cd " + fs::temp_directory_path().string() + " && VARROK_READER='" + reader +
                                "' " + VARROK_CLI + " --json " + args + " 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    std::string text;
    std::array<char, 4096> chunk;
    while (std::fgets(chunk.data(), chunk.size(), out) != nullptr)
        text += chunk.data();
    const int status = pclose(out);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Json::parse(text, nullptr, false)};
}

class Tool : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { field = new Simulator("field.json"); }
    static void TearDownTestSuite() { delete field; }
    static Simulator* field;
};
Simulator* Tool::field = nullptr;

struct Row {
    const char* args;
    int exit;
    const char* pointer; // JSON pointer into the answer
    Json expected;
};

TEST_F(Tool, CommandLinesGiveTheirJsonAndExitCode) {
    const std::string dic = kHere + "/keys.dic";
    const Row rows[] = {
        {"info", 0, "/serial", "5652434C49303031"},
        {"info", 0, "/firmware", "0205"},
        {"scan", 0, "/cards/3/name", "MIFARE Classic 1K"},
        {"scan", 0, "/cards/3/atqa", "0400"},
        {"mfc read 4 --key A0A1A2A3A4A5", 0, "/data", "48656C6C6F2C20636172642072656164"},
        {"mfc read 4", 4, "/code", 0}, // the transport key does not open sector 1
        {"mfc read 6 --key A0A1A2A3A4A5", 0, "/data", "000102030405060708090A0B0C0D0E0F"},
        {"mfc read 8", 4, "/code", 0},
        {"mfc value read 5 --key A0A1A2A3A4A5", 0, "/value", 100},
        {"ul read 4", 0, "/data", "DEADBEEF"},
        {"iso15693 read 1 --count 2", 0, "/data", "6F6B207461672100"},
        {"apdu --sam 1 0084000008", 0, "/sw", "9000"},
        {"apdu 0084000008", 0, "/sw", "9000"},
        {"apdu --type-b 0084000008", 0, "/pupi", "A1B2C3D4"},
        {"des --key 0123456789ABCDEF 4E6F772069732074", 0, "/cipher", "3FA40E8A984D4815"},
        {"des --key 0123 4E6F772069732074", 2, "/code", 0},
        {"mfc read 300", 2, "/code", 0},
        {"mfc read", 2, "/code", 0}, // a usage error is JSON too
        {"ul write 1 00000000", 2, "/code", 0},
        {"mfc value dec 4 1 --keys /nonexistent.dic", 1, "/code", 0},
    };
    for (const Row& row : rows) {
        const Outcome run = varrok(field->text(), row.args);
        EXPECT_EQ(run.exit, row.exit) << row.args << ": " << run.json.dump();
        const auto at = Json::json_pointer(row.pointer);
        ASSERT_TRUE(run.json.contains(at)) << row.args << ": " << run.json.dump();
        EXPECT_EQ(run.json[at], row.expected) << row.args;
    }
    // The whole field, every family, and the DESFire listing.
    const Outcome scan = varrok(field->text(), "scan");
    std::string families;
    for (const auto& card : scan.json["cards"])
        families += card["family"].get<std::string>() + " ";
    EXPECT_EQ(families, "type-a type-a type-a type-a type-b iso15693 ");
    EXPECT_EQ(varrok(field->text(), "desfire ls").json["uid"], "045A6B7C8D9EAF");
}

TEST_F(Tool, ValueBlocksAndDictionaries) {
    EXPECT_EQ(varrok(field->text(), "mfc value init 13 100").json["value"], 100);
    EXPECT_EQ(varrok(field->text(), "mfc value inc 13 5").json["value"], 105);
    EXPECT_EQ(varrok(field->text(), "mfc value dec 13 7").json["value"], 98);

    const Outcome keys = varrok(field->text(), "mfc keys --keys " + kHere + "/keys.dic");
    ASSERT_EQ(keys.exit, 0) << keys.json.dump();
    const Json& sectors = keys.json["sectors"];
    EXPECT_EQ(sectors[0]["key_a"], "FFFFFFFFFFFF");
    EXPECT_EQ(sectors[1]["key_a"], "A0A1A2A3A4A5"); // in the middle of the dictionary
    EXPECT_EQ(sectors[2]["key_a"], nullptr);
    EXPECT_EQ(sectors[2]["key_b"], "C0C1C2C3C4C5"); // its last key
}

TEST_F(Tool, DangerousWritesAreRefusedAndSendNothing) {
    const char* refused[] = {
        "mfc write 7 A0A1A2A3A4A5FF078069FFFFFFFFFFFF",                 // a trailer, not asked for
        "mfc write 7 A0A1A2A3A4A5FF070869FFFFFFFFFFFF --write-trailer", // inconsistent access bits
        "mfc write 0 00000000000000000000000000000000",                 // the maker's block
        "ul write 2 000000FF",                                          // lock bytes
        "ul write 3 FFFFFFFF",                                          // one-time bits
        "mfc write 4 0011",                                             // not a whole block
    };
    for (const char* args : refused) {
        const int before = field->requests();
        EXPECT_EQ(varrok(field->text(), args).exit, 2) << args;
        EXPECT_EQ(field->requests(), before) << args << " sent something";
    }
}

TEST(ToolFailures, LinkAndCardFailuresHaveTheirExitCodes) {
    EXPECT_EQ(varrok("TCP://127.0.0.1:1", "info").exit, 5);
    const Outcome usage = varrok("", "info");
    EXPECT_EQ(usage.exit, 2);
    EXPECT_TRUE(usage.json.contains("error"));
    Simulator empty("blank.json");
    EXPECT_EQ(varrok(empty.text(), "ul read 4").exit, 3);
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The pcap trace of a scan, read by Wireshark's command-line reader with our dissector.
TEST(ToolTrace, PcapTraceReadsBackThroughTheDissector) {
    if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
    Simulator field("field.json");
    const fs::path pcap = fs::temp_directory_path() / ("varrok-trace-" + std::to_string(getpid()) + ".pcap");
    ASSERT_EQ(varrok(field.text(), "--trace " + pcap.string() + " scan").exit, 0);
    const fs::path text = pcap.string() + ".txt";
    ASSERT_EQ(std::system(("tshark -r " + pcap.string() + " -X lua_script:" VARROK_DISSECTOR " -V > " +
                           text.string() + " 2>/dev/null")
                              .c_str()),
              0);
    const std::string decoded = slurp(text);
    fs::remove(pcap);
    fs::remove(text);
    for (const char* expected : {"Direction: host to reader (0)", "Direction: reader to host (1)",
                                 "Command: rf_ISO14443A_GetCard (0x10)", "Status: 0x00"})
        EXPECT_NE(decoded.find(expected), std::string::npos) << expected;
    // Every frame the library writes is well formed: nothing flagged.
    EXPECT_EQ(decoded.find("Expert Info"), std::string::npos) << decoded;
    EXPECT_EQ(decoded.find("Malformed"), std::string::npos);
}

// Dump a card, load the dump into a simulator, restore it into a blank card,
// dump those: every block comes back, in every format.
TEST(ToolDumps, RoundTripThroughEveryFormat) {
    Simulator source("field.json");
    Simulator blank("blank.json");
    const fs::path dir = fs::temp_directory_path() / ("varrok-cli-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string keys = " --keys " + kHere + "/keys.dic";
    for (const char* extension : {"json", "bin", "eml", "mct"}) {
        const std::string first = (dir / (std::string("card.") + extension)).string();
        const std::string copy = (dir / (std::string("copy.") + extension)).string();
        const Outcome dumped = varrok(source.text(), "mfc dump " + first + keys);
        ASSERT_EQ(dumped.exit, 0) << extension << ": " << dumped.json.dump();
        EXPECT_EQ(dumped.json["partial"], false) << extension;
        // A simulator serves the dump as its card, keys and access bits included: dumped again, the same
        // file.
        const std::string scenario = (dir / (std::string("from-") + extension + ".json")).string();
        std::ofstream(scenario) << R"({"cards": [{"kind": "classic1k", "dump": "card.)" << extension
                                << R"("}]})";
        {
            Simulator fromDump(scenario);
            const std::string again = (dir / (std::string("again.") + extension)).string();
            ASSERT_EQ(varrok(fromDump.text(), "mfc dump " + again + keys).exit, 0) << extension;
            EXPECT_EQ(slurp(again), slurp(first)) << extension;
        }
        const Outcome restored = varrok(blank.text(), "mfc restore " + first + keys);
        ASSERT_EQ(restored.exit, 0) << extension << ": " << restored.json.dump();
        EXPECT_EQ(restored.json["blocks_written"], 47) << extension; // 64 - block 0 - 16 trailers
        ASSERT_EQ(varrok(blank.text(), "mfc dump " + copy).exit, 0) << extension;
        const Outcome a = varrok(source.text(), "mfc read 60");
        const Outcome b = varrok(blank.text(), "mfc read 60");
        EXPECT_EQ(a.json["data"], b.json["data"]) << extension;
    }
    // The two binary dumps hold the same data blocks.
    const std::string x = slurp(dir / "card.bin"), y = slurp(dir / "copy.bin");
    ASSERT_EQ(x.size(), 1024u);
    ASSERT_EQ(y.size(), 1024u);
    for (int block = 1; block < 64; ++block)
        if (block % 4 != 3) {
            EXPECT_EQ(x.substr(block * 16, 16), y.substr(block * 16, 16)) << "block " << block;
        }
    fs::remove_all(dir);
}

// Ctrl-C in the middle of a dump stops it at the next exchange, closes the
// reader and keeps what was read, marked as not read where it was not.
TEST(ToolDumps, InterruptedDumpIsKeptAsPartial) {
    Simulator slow("field.json", "late=20");
    const std::string file =
        (fs::temp_directory_path() / ("partial-" + std::to_string(getpid()) + ".json")).string();
    const std::string cli = VARROK_CLI;
    const std::string reader = "--reader=" + slow.text();
    const char* argv[] = {cli.c_str(), reader.c_str(), "mfc", "dump", file.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, VARROK_CLI, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700)); // a few sectors in, far from the end
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream in(file);
    const Json dump = Json::parse(in, nullptr, false);
    ASSERT_TRUE(dump.contains("blocks")) << file;
    EXPECT_EQ(dump["blocks"]["1"], "00000000000000000000000000000000") << "sector 0 was read";
    EXPECT_NE(dump["blocks"]["63"].get<std::string>().find('-'), std::string::npos) << "sector 15 was not";
    fs::remove(file);
}

} // namespace

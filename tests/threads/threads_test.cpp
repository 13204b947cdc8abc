// Many threads on many readers at once: each worker thread drives a reader of
// its own (reached by a handshake address or a connection handle; two of them
// share theirs with a second thread) with a mix of reader and card commands,
// while another
// thread keeps opening and closing further readers, and closes one under a
// third thread's feet. Every answer is checked against the reader it must
// have come from, so a command sent to the wrong reader cannot pass.
#include "simulator/cards/classic.h"
#include "simulator/commands/type_a_commands.h"
#include "simulator/reader/reader.h"
#include "simulator/servers/pty_server.h"
#include "simulator/servers/tcp_server.h"
#include "varrok.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using sim::Bytes;

struct SimReader {
    explicit SimReader(std::uint16_t address) {
        reader.install(sim::installTypeA);
        reader.access([&](sim::ReaderState& s, sim::Field&) { s.address = address; });
    }
    std::string serveTcp() {
        tcp = std::make_unique<sim::TcpServer>(reader);
        tcp->start(0);
        return "TCP://127.0.0.1:" + std::to_string(tcp->port());
    }
    // Points COM<n> at a new pseudo-terminal; done before any thread starts,
    // as the library reads the environment when it opens a port.
    void servePty(int com) {
        pty = std::make_unique<sim::PtyServer>(reader);
        pty->start();
        ::setenv(("VARROK_COM" + std::to_string(com)).c_str(), pty->path().c_str(), 1);
    }
    unsigned beeps() {
        return reader.access([](sim::ReaderState& s, sim::Field&) { return s.beeps; });
    }
    sim::Reader reader;
    std::unique_ptr<sim::TcpServer> tcp;
    std::unique_ptr<sim::PtyServer> pty;
};

// Failures found off the test's own thread, reported once the threads are joined.
class Faults {
  public:
    void add(const std::string& what) {
        std::lock_guard lock(mutex_);
        if (list_.size() < 20) list_.push_back(what);
    }
    std::vector<std::string> list() {
        std::lock_guard lock(mutex_);
        return list_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> list_;
};

#define EXPECT_RC(call, want)                                                                                \
    do {                                                                                                     \
        if (const int rc_ = (call); rc_ != (want))                                                           \
            faults.add(name + ": " #call " gave " + std::to_string(rc_) + " at round " +                     \
                       std::to_string(round));                                                               \
    } while (0)

constexpr int kRounds = 1500; // four commands a round, a Classic session (six more) every third round
const std::array<unsigned char, 6> kKeyFF{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

struct Worker {
    std::string name;
    SimReader& sim;
    std::uint16_t address; // the reader's own device address
    Bytes uid;
    unsigned short icdev = 0; // how this thread reaches its reader
    bool cardSession = true;  // false: a second thread on a reader, reader commands only
    unsigned beepsSent = 0;
    sim::classic::Block lastWritten{};

    void run(Faults& faults) {
        int round = 0;
        if (cardSession) EXPECT_RC(rf_antenna_sta(icdev, 1), 0);
        for (round = 0; round < kRounds; ++round) {
            unsigned short id = 0;
            EXPECT_RC(rf_get_device_number(icdev, &id), 0);
            if (id != address) faults.add(name + ": answered by reader " + std::to_string(id));
            EXPECT_RC(rf_beep(icdev, static_cast<unsigned char>(round)), 0);
            ++beepsSent;
            if (!cardSession) continue;
            EXPECT_RC(rf_init_type(icdev, 'A'), 0);
            unsigned char atqa[2] = {};
            // A wake-up every third round; in between the halted card must stay silent to a plain request.
            const bool session = round % 3 == 0;
            EXPECT_RC(rf_request(icdev, session ? 0x52 : 0x26, atqa),
                      session ? 0 : static_cast<int>(sim::Status::NoCard));
            if (!session) continue;
            // The Classic session: the card woken above, selected by its UID,
            // a block written with this round's pattern and read back.
            unsigned char uidOut[10] = {}, len = 0, sak = 0;
            EXPECT_RC(rf_anticoll(icdev, 4, uidOut, &len), 0);
            if (Bytes(uidOut, uidOut + len) != uid) faults.add(name + ": another card answered");
            EXPECT_RC(rf_select(icdev, uidOut, 4, &sak), 0);
            EXPECT_RC(rf_M1_Authentication(icdev, 0x60, 4, const_cast<unsigned char*>(kKeyFF.data())), 0);
            sim::classic::Block data;
            for (std::size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<unsigned char>(address + round * 7 + i);
            EXPECT_RC(rf_M1_Write(icdev, 5, data.data()), 0);
            sim::classic::Block back{};
            EXPECT_RC(rf_M1_Read(icdev, 5, back.data()), 0);
            if (back != data)
                faults.add(name + ": block 5 read back wrong at round " + std::to_string(round));
            lastWritten = data;
            EXPECT_RC(rf_ISO14443A_Halt(icdev), 0);
        }
    }
};

TEST(Threads, ManyReadersManyThreadsWhileOthersOpenAndClose) {
    // The first reader in the library's tables takes frames for device
    // addresses nobody has bound; this one, at an address nobody uses, lets
    // such frames time out instead of answering them.
    SimReader parking(0x0999);
    parking.servePty(1);
    ASSERT_GT(ReaderOpen("COM1:115200"), 0);

    SimReader simA(0x0101), simB(0x0102), simC(0x0103), extraOpen(0x0201), extraConn(0x0202);
    // The workers' readers are all on TCP: a pseudo-terminal's bytes pass
    // through kernel worker threads, which a machine this busy (a dozen
    // threads that never wait long) holds back now and then for longer than
    // the commands' 100 ms waits. Locking does not depend on the transport.
    const std::string textA = simA.serveTcp(), textB = simB.serveTcp(), textC = simC.serveTcp();
    const std::string textOpen = extraOpen.serveTcp(), textConn = extraConn.serveTcp();

    std::vector<Worker> workers{{"tcp-handshake", simA, 0x0101, {0x11, 0x22, 0x33, 0x44}},
                                {"tcp-handshake-2", simB, 0x0102, {0x21, 0x22, 0x33, 0x44}},
                                {"tcp-connection", simC, 0x0103, {0x31, 0x22, 0x33, 0x44}}};
    constexpr std::size_t kReaders = 3;
    sim::ClassicCard* cards[kReaders];
    for (std::size_t i = 0; i < workers.size(); ++i)
        cards[i] = &workers[i].sim.reader.access([&](sim::ReaderState&, sim::Field& f) -> sim::ClassicCard& {
            return f.emplace<sim::ClassicCard>(sim::ClassicCard::Model::Classic1K, workers[i].uid);
        });
    const long long a = ReaderOpen(textA.c_str()), b = ReaderOpen(textB.c_str());
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_EQ(ReaderHandshake(a, 0x0101), 0);
    ASSERT_EQ(ReaderHandshake(b, 0x0102), 0);
    workers[0].icdev = 0x0101;
    workers[1].icdev = 0x0102;
    const int c = rf_init_net("127.0.0.1", simC.tcp->port());
    ASSERT_GE(c, 0x1000);
    workers[2].icdev = static_cast<unsigned short>(c);
    // Two more threads share a reader each with a worker: they take turns on
    // its transport, and their answers must not mix.
    workers.push_back({"tcp-sharer", simA, 0x0101, {}, 0x0101, 0, {}, false});
    workers.push_back(
        {"tcp-connection-sharer", simC, 0x0103, {}, static_cast<unsigned short>(c), 0, {}, false});

    Faults faults;
    std::atomic<int> running{static_cast<int>(workers.size())};
    std::vector<std::thread> threads;
    for (auto& w : workers)
        threads.emplace_back([&] {
            w.run(faults);
            --running;
        });

    // A connection closed while another thread is sending on it: the sender
    // sees successes from that reader only, then a failure, never a crash.
    std::atomic<int> target{0}; // the connection handle under fire, 0 for none
    std::atomic<int> hits{0};   // beeps of the current connection that succeeded
    std::atomic<bool> missed{false};
    std::atomic<bool> stop{false};
    std::atomic<unsigned> hammerBeeps{0};
    std::thread hammer([&] {
        const std::string name = "hammer";
        while (!stop) {
            const int icdev = target.load();
            if (icdev == 0 || missed) {
                std::this_thread::yield();
                continue;
            }
            const int rc = rf_beep(static_cast<unsigned short>(icdev), 1);
            if (rc == 0) {
                ++hammerBeeps;
                ++hits;
            } else {
                // Routed nowhere once closed: refused, or sent to the parking reader, which keeps silent.
                if (rc != -1 && rc != 9) faults.add("hammer: closed connection gave " + std::to_string(rc));
                missed = true;
            }
        }
    });

    std::thread opener([&] {
        const std::string name = "opener";
        unsigned openerBeeps = 0, extraOpenBeeps = 0;
        int lastHandle = 0;
        for (int round = 0; running > 0 || round < 5; ++round) {
            const long long h = ReaderOpen(textOpen.c_str());
            if (h <= 0) {
                faults.add("opener: ReaderOpen gave " + std::to_string(h));
                break;
            }
            EXPECT_RC(ReaderHandshake(h, 0x0201), 0);
            EXPECT_RC(rf_beep(0x0201, 2), 0);
            ++extraOpenBeeps;
            EXPECT_RC(ReaderClose(h), 0);
            EXPECT_RC(ReaderClose(h), -6);

            const int conn = rf_init_net("127.0.0.1", extraConn.tcp->port());
            if (conn < 0x1000 || conn == lastHandle) {
                faults.add("opener: rf_init_net gave " + std::to_string(conn));
                break;
            }
            lastHandle = conn;
            EXPECT_RC(rf_beep(static_cast<unsigned short>(conn), 3), 0);
            ++openerBeeps;
            hits = 0;
            missed = false;
            target = conn;
            while (hits == 0 && !missed)
                std::this_thread::yield();
            EXPECT_RC(rf_ClosePortVer5(static_cast<unsigned short>(conn)), 0);
            EXPECT_RC(rf_ClosePortVer5(static_cast<unsigned short>(conn)), -6);
            while (!missed)
                std::this_thread::yield();
            target = 0;
        }
        stop = true;
        if (extraOpen.beeps() != extraOpenBeeps)
            faults.add("opener: beeps lost or misrouted on the opened reader");
        if (extraConn.beeps() != openerBeeps + hammerBeeps)
            faults.add("opener: beeps lost or misrouted on the connection");
    });

    for (auto& t : threads)
        t.join();
    opener.join();
    hammer.join();

    for (const auto& f : faults.list())
        ADD_FAILURE() << f;
    for (std::size_t i = 0; i < kReaders; ++i) {
        unsigned beeps = 0;
        for (const auto& w : workers)
            beeps += &w.sim == &workers[i].sim ? w.beepsSent : 0;
        EXPECT_EQ(workers[i].sim.beeps(), beeps) << workers[i].name;
        workers[i].sim.reader.access([&](sim::ReaderState&, sim::Field&) {
            EXPECT_EQ(cards[i]->block(5), workers[i].lastWritten) << workers[i].name;
        });
    }
    EXPECT_EQ(parking.beeps(), 0u);
    EXPECT_EQ(rf_ClosePortVer5(static_cast<unsigned short>(c)), 0);
    EXPECT_EQ(ReaderClose(0), 0);
}

} // namespace

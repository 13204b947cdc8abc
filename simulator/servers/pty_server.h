#pragma once
// The reader as a serial reader: a pseudo-terminal whose slave side stands for
// the COM port. The host library opens path() (pointed at by VARROK_COM<n>).
// The host may close and reopen the port as often as it likes; while nobody
// holds it open the reader just waits.

#include <memory>
#include <string>
#include <thread>

#include "simulator/reader/reader.h"
#include "simulator/servers/link.h"
#include "simulator/servers/posix.h"
#include "simulator/wire/traffic_log.h"

namespace sim {

class PtyServer {
  public:
    explicit PtyServer(Reader& reader, TrafficLog* log = nullptr);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens a pseudo-terminal in raw mode and serves it on a thread of its own.
    // Throws std::system_error.
    void start();
    void stop();

    // The serial device the host opens, e.g. /dev/pts/3.
    const std::string& path() const { return path_; }

  private:
    void run();

    Reader& reader_;
    TrafficLog* log_;
    Waker waker_;
    std::unique_ptr<Link> link_; // over the master side
    std::string path_;
    std::thread thread_;
};

} // namespace sim

// The command-line tool's shared pieces: how a command fails, the reader
// session every card command runs in, hex text, and the result a command
// hands back for printing as text or JSON.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

using Json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// Exit codes, documented in --help and the README.
enum Exit : int {
    kOk = 0,
    kFileError = 1,   // a file could not be read or written, or does not fit the card
    kUsage = 2,       // bad arguments, or a write refused as dangerous
    kNoCard = 3,      // no card of the asked family in the field
    kRefused = 4,     // the card or the reader answered with an error status
    kLinkFailure = 5, // the reader could not be opened, stayed silent or answered garbage
    kInterrupted = 130,
};

// A command that cannot go on. `code` is the library's return code, 0 when
// the failure is the tool's own.
class Failure : public std::runtime_error {
  public:
    Failure(int exitCode, const std::string& message, int code = 0)
        : std::runtime_error(message), exitCode_(exitCode), code_(code) {}
    int exitCode() const { return exitCode_; }
    int code() const { return code_; }

  private:
    int exitCode_;
    int code_;
};

std::string hex(std::span<const std::uint8_t> bytes);
// Hex digits with optional spaces, ':' or '-' between bytes; `what` names the argument in errors.
Bytes parseHex(std::string_view text, const std::string& what);
Bytes parseHexOf(std::string_view text, std::size_t size, const std::string& what);

// Set by Ctrl-C; long operations stop at the next exchange.
bool stopRequested();
void watchInterrupt();

// "block 12/64" on standard error while a long operation runs, when it is a terminal.
class Progress {
  public:
    Progress(std::string what, std::size_t total);
    ~Progress();
    void step(std::size_t done);

  private:
    std::string what_;
    std::size_t total_;
    bool shown_;
};

struct Options {
    std::string reader;
    bool json = false;
    std::string trace;
};

// The open reader of one command. Opened on first use, closed when the
// command ends, whatever way it ends.
class Session {
  public:
    explicit Session(const Options& options) : options_(options) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    unsigned short dev();
    const std::string& readerText() const { return options_.reader; }
    // 0 passes; anything else throws a Failure naming the export that failed.
    void check(int rc, const char* function) const;
    // As check, but a refusal by the reader means no card answered.
    void checkSearch(int rc, const char* function) const;

  private:
    const Options& options_;
    long long handle_ = -1;
};

// What every command gets: its options and the session.
struct Context {
    Options options;
    Session* session = nullptr;
};

// A command's result, printed once the command returns.
struct Result {
    Result(Json value = Json::object()) : json(std::move(value)) {}
    Json json;
    bool partial = false; // the command was stopped; what it has is kept
};

using Runner = std::function<Result(Context&)>;

// The subcommand groups; each adds its subcommands to `app`, and their runners to `run`.
struct Registry {
    CLI::App& app;
    Options& options;
    Runner* chosen;
    void add(CLI::App* command, Runner runner);
};
void addReaderCommands(Registry& r);
void addScanCommand(Registry& r);
void addClassicCommands(Registry& r);
void addMemoryCommands(Registry& r);
void addApduCommands(Registry& r);
void addDesCommands(Registry& r);

} // namespace cli

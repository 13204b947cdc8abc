// varrok: the reader library from a terminal or a script.
#include "cli/app.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

constexpr const char* kExitCodes = R"(Exit codes:
  0    success
  1    a file could not be read or written, or does not fit the card
  2    usage error, or a write refused as dangerous
  3    no card answered
  4    the card or the reader refused (its status byte is in the message)
  5    link failure: the reader could not be opened, stayed silent or answered garbage
  130  stopped by Ctrl-C (a dump in progress is kept and marked partial)

The reader is the library's open text: COM3:115200 or TCP://127.0.0.1:4000
(VARROK_READER gives the default). --json prints one JSON document per command,
bytes as uppercase hex strings; a failure prints {"error": TEXT, "code": N}.)";

// Text for people: scalars as "key: value", lists of objects one a line.
void renderText(const cli::Json& value, const std::string& indent = "") {
    for (const auto& [key, member] : value.items()) {
        if (member.is_array()) {
            std::cout << indent << key << ":\n";
            for (const auto& item : member) {
                if (!item.is_object()) {
                    std::cout << indent << "  " << (item.is_string() ? item.get<std::string>() : item.dump())
                              << "\n";
                    continue;
                }
                std::string line;
                for (const auto& [k, v] : item.items()) {
                    if (v.is_array() || v.is_object()) continue;
                    line += (line.empty() ? "" : "  ") + k + " " +
                            (v.is_string() ? v.get<std::string>() : v.dump());
                }
                std::cout << indent << "  " << line << "\n";
                for (const auto& [k, v] : item.items())
                    if (v.is_array()) renderText(cli::Json{{k, v}}, indent + "    ");
            }
        } else if (member.is_object()) {
            std::cout << indent << key << ":\n";
            renderText(member, indent + "  ");
        } else {
            std::cout << indent << key << ": "
                      << (member.is_string() ? member.get<std::string>() : member.dump()) << "\n";
        }
    }
}

int report(const cli::Options& options, const cli::Failure& failure) {
    if (options.json)
        std::cout << cli::Json{{"error", failure.what()}, {"code", failure.code()}}.dump(2) << "\n";
    else
        std::cerr << "varrok: " << failure.what() << "\n";
    return failure.exitCode();
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"varrok: drive a Varrok card reader from a terminal or a script", "varrok"};
    app.footer(kExitCodes);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("varrok ") + VARROK_VERSION);
    cli::Options options;
    if (const char* reader = std::getenv("VARROK_READER")) options.reader = reader;
    app.add_option("-r,--reader", options.reader, "the reader: COM3:115200 or TCP://127.0.0.1:4000")
        ->envname("VARROK_READER");
    app.add_flag("--json", options.json, "print one JSON document");
    app.add_option("--trace", options.trace,
                   "trace every frame to FILE (- for standard error; a .pcap name writes pcap)");

    cli::Runner chosen;
    cli::Registry registry{app, options, &chosen};
    cli::addReaderCommands(registry);
    cli::addScanCommand(registry);
    cli::addClassicCommands(registry);
    cli::addMemoryCommands(registry);
    cli::addApduCommands(registry);
    cli::addDesCommands(registry);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? cli::kOk : cli::kUsage;
    }

    // The library reads these at its first exchange.
    if (!options.trace.empty()) {
        setenv("VARROK_TRACE", options.trace.c_str(), 1);
        const auto dot = options.trace.rfind('.');
        if (dot != std::string::npos && options.trace.substr(dot) == ".pcap")
            setenv("VARROK_TRACE_FORMAT", "pcap", 1);
    }
    cli::watchInterrupt();
    cli::Session session(options);
    cli::Context context{options, &session};
    try {
        const cli::Result result = chosen(context);
        if (options.json)
            std::cout << result.json.dump(2) << "\n";
        else
            renderText(result.json);
        return result.partial ? cli::kInterrupted : cli::kOk;
    } catch (const cli::Failure& failure) {
        return report(options, failure);
    }
}

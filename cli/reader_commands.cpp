// The reader itself: identity, serial ports, beeper, LEDs, antenna.
#include "cli/app.h"
#include "link/com_ports.h"
#include "varrok.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace cli {

namespace {

Result info(Context& c) {
    Session& s = *c.session;
    const unsigned short dev = s.dev();
    unsigned char firmware[2] = {};
    unsigned char serial[8] = {};
    unsigned short address = 0;
    s.check(rf_Reader_GetFirmwareVer(dev, firmware), "rf_Reader_GetFirmwareVer");
    s.check(rf_Reader_GetSN(dev, serial), "rf_Reader_GetSN");
    s.check(rf_Reader_GetID(dev, &address), "rf_Reader_GetID");
    Result r;
    r.json = {{"reader", s.readerText()},
              {"firmware", hex(firmware)},
              {"serial", hex(serial)},
              {"address", address}};
    return r;
}

// Every COM number whose device exists, through the library's own table.
Result ports(Context&) {
    Result r;
    r.json["ports"] = Json::array();
    for (int n = 1; n <= 255; ++n) {
        const std::string path = varrok::comDevicePath(n);
        struct stat st {};
        if (path.empty() || stat(path.c_str(), &st) != 0) continue;
        const std::string name = "COM" + std::to_string(n);
        r.json["ports"].push_back({{"port", name},
                                   {"path", path},
                                   {"override", std::getenv(("VARROK_" + name).c_str()) != nullptr}});
    }
    return r;
}

} // namespace

void addReaderCommands(Registry& reg) {
    reg.add(reg.app.add_subcommand("info", "the reader's firmware version, serial number and device address")
                ->footer("Example: varrok -r TCP://127.0.0.1:4000 info --json"),
            info);
    reg.add(
        reg.app.add_subcommand("ports", "serial ports: COM numbers and their devices (VARROK_COM<n> first)")
            ->footer("Example: VARROK_COM7=/dev/pts/3 varrok ports"),
        ports);

    auto beepTime = std::make_shared<int>(50);
    auto* beep =
        reg.app.add_subcommand("beep", "sound the reader's beeper")->footer("Example: varrok beep 100");
    beep->add_option("ms", *beepTime, "beep time, 0-255 (the reader's units of 10 ms on most readers)")
        ->check(CLI::Range(0, 255));
    reg.add(beep, [beepTime](Context& c) {
        c.session->check(rf_Reader_SetBeep(c.session->dev(), static_cast<unsigned char>(*beepTime)),
                         "rf_Reader_SetBeep");
        return Result{{{"beep", *beepTime}}};
    });

    auto colour = std::make_shared<int>(0);
    auto* led =
        reg.app.add_subcommand("led", "set the reader's LED colour code")->footer("Example: varrok led 1");
    led->add_option("colour", *colour, "colour code, 0-255 (0 off on most readers)")
        ->required()
        ->check(CLI::Range(0, 255));
    reg.add(led, [colour](Context& c) {
        c.session->check(rf_Reader_SetLight(c.session->dev(), static_cast<unsigned char>(*colour)),
                         "rf_Reader_SetLight");
        return Result{{{"led", *colour}}};
    });

    auto state = std::make_shared<std::string>();
    auto* antenna = reg.app.add_subcommand("antenna", "switch the reader's antenna (the field) on or off")
                        ->footer("Example: varrok antenna off");
    antenna->add_option("state", *state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    reg.add(antenna, [state](Context& c) {
        c.session->check(rf_Reader_SetAntenna(c.session->dev(), *state == "on" ? 1 : 0),
                         "rf_Reader_SetAntenna");
        return Result{{{"antenna", *state}}};
    });
}

} // namespace cli

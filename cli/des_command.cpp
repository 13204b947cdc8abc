// DES and triple DES of hex data, through the library's DES service.
#include "cli/app.h"
#include "varrok.h"

#include <memory>

namespace cli {

namespace {

struct DesOptions {
    std::string key;
    std::string data;
    bool decrypt = false;
};

Result des(const DesOptions& o) {
    Bytes key = parseHex(o.key, "--key");
    const Bytes data = parseHex(o.data, "data");
    if (key.size() != 8 && key.size() != 16)
        throw Failure(kUsage, "--key: 8 bytes (DES) or 16 bytes (two-key triple DES) expected");
    if (data.empty() || data.size() % 8 != 0 || data.size() > 4096)
        throw Failure(kUsage, "data: whole 8-byte blocks expected (up to 4096 bytes)");
    Bytes out(data.size());
    const int rc = (o.decrypt ? rf_DES_Decrypt : rf_DES_Encrypt)(
        out.data(), data.data(), static_cast<int>(data.size()), key.data(), static_cast<int>(key.size()));
    if (rc != 0) throw Failure(kUsage, "the DES service refused the data (" + std::to_string(rc) + ")", rc);
    return Result{{{o.decrypt ? "plain" : "cipher", hex(out)}}};
}

} // namespace

void addDesCommands(Registry& reg) {
    auto* cmd =
        reg.app.add_subcommand("des", "DES (8-byte key) or two-key triple DES (16 bytes) of hex data, ECB")
            ->footer(
                "Examples: varrok des --key 0123456789ABCDEF 4E6F772069732074\n"
                "          varrok des --decrypt --key 00112233445566778899AABBCCDDEEFF 0011223344556677");
    auto o = std::make_shared<DesOptions>();
    cmd->add_option("-k,--key", o->key, "the key in hex")->required();
    cmd->add_option("data", o->data, "the data in hex, whole 8-byte blocks")->required();
    cmd->add_flag("-d,--decrypt", o->decrypt, "decrypt instead of encrypt");
    reg.add(cmd, [o](Context&) { return des(*o); });
}

} // namespace cli

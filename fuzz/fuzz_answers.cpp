// Any bytes a reader may send back, through every kind of answer the commands
// take apart. Output buffers are exactly as large as the header says and are
// followed by guard bytes that must survive every call.
#include "fuzz/fuzz_bus.h"
#include "link/readers.h"
#include "varrok.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kGuard = 32;
constexpr unsigned char kGuardByte = 0xC5;

// A caller's buffer of exactly n bytes with guards behind it.
class Guarded {
  public:
    explicit Guarded(std::size_t n) : bytes_(n + kGuard, kGuardByte), n_(n) {}
    unsigned char* data() { return bytes_.data(); }
    ~Guarded() {
        for (std::size_t i = n_; i < bytes_.size(); ++i)
            if (bytes_[i] != kGuardByte) std::abort();
    }

  private:
    std::vector<unsigned char> bytes_;
    std::size_t n_;
};

using Call = std::function<void(unsigned char arg)>;

const std::vector<Call>& calls() {
    static const std::vector<Call> table = {
        [](unsigned char) {
            Guarded d(16);
            rf_M1_Read(0, 4, d.data());
        },
        [](unsigned char) {
            Guarded d(250), l(1);
            rf_ISO14443A_GetCard(0, 0x52, d.data(), l.data());
        },
        [](unsigned char a) {
            Guarded d((a % 16) * 16u), l(1);
            rf_M1_MultiRead(0, 0, a % 16, d.data(), l.data());
        },
        [](unsigned char) {
            Guarded d(250), l(1), u(1);
            rf_search_type_a(0, 0x52, d.data(), l.data(), u.data());
        },
        [](unsigned char) {
            Guarded u(61), l(1);
            rf_ul_select(0, u.data(), l.data());
        },
        [](unsigned char a) {
            Guarded u(250), l(1), q(2);
            rf_getlockcardinfo(0, a, u.data(), l.data(), q.data());
        },
        [](unsigned char) {
            Guarded d(250);
            int len;
            rf_IDCard_Request(0, d.data(), &len);
        },
        [](unsigned char) {
            Guarded d(250);
            unsigned char c[4] = {};
            int len;
            rf_IDCard_COS(0, c, 4, d.data(), &len);
        },
        [](unsigned char) {
            Guarded d(250), c(1);
            rf_DF_GetAppIDs(0, d.data(), c.data());
        },
        [](unsigned char) {
            Guarded d(250), c(1);
            rf_DF_GetFileIDs(0, d.data(), c.data());
        },
        [](unsigned char a) {
            Guarded d(a);
            unsigned len;
            rf_DF_ReadData(0, 1, 0, a, d.data(), &len);
        },
        [](unsigned char a) {
            Guarded d(247);
            unsigned len;
            rf_DF_ReadRecord(0, 1, 0, a, d.data(), &len);
        },
        [](unsigned char) {
            int v;
            rf_DF_GetValue(0, 1, &v);
        },
        [](unsigned char) {
            Guarded d(28);
            rf_DF_GetVer(0, d.data());
        },
        [](unsigned char) {
            Guarded d(250), l(1);
            rf_DF_GetFileSettings(0, 1, d.data(), l.data());
        },
        [](unsigned char a) {
            Guarded d((a % 16) * 16u);
            rf_MFP_L3Read(0, 0x4000, a % 16, d.data());
        },
        [](unsigned char) {
            Guarded d(4);
            rf_MFP_L3PurseRead(0, 0x4000, d.data());
        },
        [](unsigned char) {
            Guarded d(9), l(1);
            rf_ISO15693_Inventory(0, d.data(), l.data());
        },
        [](unsigned char) {
            Guarded d(250), l(1);
            unsigned char uid[8] = {};
            rf_ISO15693_Read(0, 0x22, uid, 0, 4, d.data(), l.data());
        },
        [](unsigned char) {
            Guarded d(8), l(1);
            rf_AT88RF080_Request(0, 1, 2, d.data(), l.data());
        },
        [](unsigned char a) {
            Guarded d(250), l(1);
            *l.data() = a;
            rf_USSEN_GetMem(0, d.data(), l.data());
        },
        [](unsigned char) {
            unsigned short id;
            rf_Reader_GetID(0, &id);
        },
        [](unsigned char a) {
            Guarded d(a % 201);
            rf_Reader_FlashRead(0, 1, 0, a % 201, d.data());
        },
        [](unsigned char) {
            Guarded d(250), l(1);
            unsigned char apdu[5] = {0, 0x84, 0, 0, 8};
            rf_ISO14443_4_COS(0, apdu, 5, d.data(), l.data(), 1);
        },
        [](unsigned char) {
            Guarded d(250), l(1);
            rf_SAM_RST(0, 5, d.data(), l.data());
        },
        [](unsigned char a) {
            Guarded d((a % 63) * 4u), l(1);
            rf_ST_SRI_MultiRead(0, 0, a % 63, d.data(), l.data());
        },
        [](unsigned char) {
            Guarded d(2);
            rf_Reader_GetFirmwareVer(0, d.data());
        },
        [](unsigned char) {
            Guarded d(12), l(1);
            rf_atqb(0, 1, d.data(), l.data());
        },
        [](unsigned char) {
            Guarded d(16), l(1);
            rf_M1_read(0, 4, d.data(), l.data());
        },
    };
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const auto& table = calls();
    const Call& call = table[data[0] % table.size()];
    const unsigned char argument = data[1];
    varrok::adoptTransport("FUZZ", std::make_unique<ReplayBus>(data + 2, size - 2));
    call(argument);
    ReaderClose(0);
    return 0;
}

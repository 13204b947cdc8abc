// Reader identity and peripherals on the wire.
#include "support/reader_fixture.h"

#include <array>
#include <chrono>
#include <functional>

using namespace testing_support;

namespace {

class ReaderControl : public ReaderOnPeer {};

struct WireCase {
    const char* what;
    std::function<int()> call;
    std::string request; // address, command, data
};

TEST_F(ReaderControl, RequestsByteForByte) {
    unsigned char digits[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char raw[8] = {0xAA, 1, 2, 3, 4, 5, 6, 0xFF};
    unsigned char flash[224] = {};
    unsigned char readBack[200];
    const WireCase cases[] = {
        {"set id", [] { return rf_Reader_SetID(0x0102, 0xA1B2); }, "01 02 02 A1 B2"},
        {"beep", [] { return rf_Reader_SetBeep(3, 20); }, "00 03 06 14"},
        {"iso type", [] { return rf_Reader_SetISOType(0, 'A'); }, "00 00 0A 41"},
        {"antenna on", [] { return rf_Reader_AntennaON(0); }, "00 00 0B 01"},
        {"antenna off", [] { return rf_Reader_AntennaOFF(0); }, "00 00 0B 00"},
        {"light", [] { return rf_Reader_SetLight(0, 2); }, "00 00 27 02"},
        {"authentication standard", [] { return rf_Reader_SetAuthenticationStandard(0, 1); }, "00 00 35 01"},
        {"digits with the point on the second",
         [&] { return rf_Reader_DigtalDisplay(0, 1, 2, digits); }, "00 00 60 30 ED 79 33 5B 5F 70 7F"},
        {"digits, no point, blank", [&] {
             unsigned char d[8] = {0, 10, 9, 8, 10, 10, 10, 10};
             return rf_Reader_DigtalDisplay(0, 1, 0, d);
         }, "00 00 60 7E 00 7B 7F 00 00 00 00"},
        {"point on the eighth", [&] { return rf_Reader_DigtalDisplay(0, 1, 8, digits); }, "00 00 60 30 6D 79 33 5B 5F 70 FF"},
        {"raw segments ignore the point", [&] { return rf_Reader_DigtalDisplay(0, 0, 9, raw); },
         "00 00 60 AA 01 02 03 04 05 06 FF"},
        {"flash read up to the page end", [&] { return rf_Reader_FlashRead(0, 0x0102, 56, 200, readBack); },
         "00 00 61 01 02 38 C8"},
        {"flash write of 224", [&] { return rf_Reader_FlashWrite(0, 7, 0, 224, flash); },
         "00 00 62 00 07 00 E0"},
    };
    for (const auto& c : cases) {
        if (std::string(c.what).rfind("flash read", 0) == 0) peer.script(answer(0, Bytes(200, 0x42)));
        else peer.script(answer(0));
        EXPECT_EQ(c.call(), 0) << c.what;
        const std::string got = lastRequest();
        if (std::string(c.what) == "flash write of 224") {
            EXPECT_EQ(got.substr(0, c.request.size()), c.request);
            EXPECT_EQ(got.size(), (7u + 224u) * 3 - 1) << "all 224 data bytes follow";
        } else {
            EXPECT_EQ(got, c.request) << c.what;
        }
    }
    EXPECT_EQ(readBack[199], 0x42);
}

TEST_F(ReaderControl, RefusedArgumentsSendNothing) {
    unsigned char data[256] = {};
    unsigned char bad[8] = {1, 2, 3, 11, 5, 6, 7, 8};
    const struct {
        const char* what;
        int rc;
        int expected;
    } cases[] = {
        {"antenna state 2", rf_Reader_SetAntenna(0, 2), -5},
        {"digit value 11", rf_Reader_DigtalDisplay(0, 1, 0, bad), -5},
        {"point 9 in digit mode", rf_Reader_DigtalDisplay(0, 1, 9, data), -5},
        {"flash read past the page", rf_Reader_FlashRead(0, 0, 57, 200, data), -1},
        {"flash read of 201", rf_Reader_FlashRead(0, 0, 0, 201, data), -1},
        {"flash write of 225", rf_Reader_FlashWrite(0, 0, 0, 225, data), -1},
        {"flash write past the page", rf_Reader_FlashWrite(0, 0, 100, 157, data), -1},
        {"null version buffer", rf_Reader_GetFirmwareVer(0, nullptr), -5},
        {"null serial buffer", rf_Reader_GetSN(0, nullptr), -5},
        {"null id", rf_Reader_GetID(0, nullptr), -5},
        {"null display data", rf_Reader_DigtalDisplay(0, 0, 0, nullptr), -5},
        {"null flash data", rf_Reader_FlashWrite(0, 0, 0, 4, nullptr), -5},
        {"null flash data, nothing to write", rf_Reader_FlashWrite(0, 0, 0, 0, nullptr), -5},
        {"null flash buffer, nothing to read", rf_Reader_FlashRead(0, 0, 0, 0, nullptr), -5},
    };
    for (const auto& c : cases) EXPECT_EQ(c.rc, c.expected) << c.what;
    EXPECT_TRUE(nothingSent());
}

TEST_F(ReaderControl, GetIdAsksAddressZeroAndKeepsFrameOrder) {
    peer.script(frame(0x34, 0x12, 0x03, {0x00}));
    unsigned short id = 0;
    EXPECT_EQ(rf_Reader_GetID(0x5678, &id), 0);
    EXPECT_EQ(lastRequest(), "00 00 03");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&id);
    EXPECT_EQ(bytes[0], 0x34);
    EXPECT_EQ(bytes[1], 0x12);
}

TEST_F(ReaderControl, IdentityAnswersAreCheckedAndSettle) {
    std::array<unsigned char, 2> version{0xEE, 0xEE};
    peer.script(answer(0, {1, 2, 3}));
    EXPECT_EQ(rf_Reader_GetFirmwareVer(0, version.data()), -5);
    EXPECT_EQ(version, (std::array<unsigned char, 2>{0xEE, 0xEE}));

    peer.script(answer(0, {0x01, 0x10}));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rf_Reader_GetFirmwareVer(0, version.data()), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
    EXPECT_EQ(version, (std::array<unsigned char, 2>{0x01, 0x10}));

    std::array<unsigned char, 8> sn{};
    peer.script(answer(0, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(rf_Reader_GetSN(0, sn.data()), 0);
    EXPECT_EQ(sn[7], 8);

    peer.script(answer(0x0A));
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), 10);
    Bytes broken = answer(0);
    broken.back() ^= 1;
    peer.script(broken);
    EXPECT_EQ(rf_Reader_SetBeep(0, 1), 252);
    unsigned char segments[8] = {};
    peer.script(answer(0, {1}));
    EXPECT_EQ(rf_Reader_DigtalDisplay(0, 0, 0, segments), -5) << "the display wants an empty answer";
}

TEST_F(ReaderControl, OlderNamesSendWhatTheirTargetsSend) {
    unsigned char buf[256] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned short id;
    const std::pair<std::function<int()>, std::function<int()>> pairs[] = {
        {[] { return rf_init_device_number(0, 9); }, [] { return rf_Reader_SetID(0, 9); }},
        {[&] { return rf_get_device_number(0, &id); }, [&] { return rf_Reader_GetID(0, &id); }},
        {[&] { return rf_get_model(0, buf); }, [&] { return rf_Reader_GetFirmwareVer(0, buf); }},
        {[&] { return rf_get_snr(0, buf); }, [&] { return rf_Reader_GetSN(0, buf); }},
        {[] { return rf_beep(0, 5); }, [] { return rf_Reader_SetBeep(0, 5); }},
        {[] { return rf_init_type(0, 'B'); }, [] { return rf_Reader_SetISOType(0, 'B'); }},
        {[] { return rf_antenna_sta(0, 1); }, [] { return rf_Reader_SetAntenna(0, 1); }},
        {[] { return rf_light(0, 3); }, [] { return rf_Reader_SetLight(0, 3); }},
        {[] { return rf_Reader_SetLed(0, 3); }, [] { return rf_Reader_SetLight(0, 3); }},
        {[] { return rf_set_authentication_standard(0, 2); }, [] { return rf_Reader_SetAuthenticationStandard(0, 2); }},
        {[&] { return rf_display(0, 1, 1, buf); }, [&] { return rf_Reader_DigtalDisplay(0, 1, 1, buf); }},
        {[&] { return rf_flash_read(0, 1, 0, 2, buf); }, [&] { return rf_Reader_FlashRead(0, 1, 0, 2, buf); }},
        {[&] { return rf_flash_write(0, 1, 0, 2, buf); }, [&] { return rf_Reader_FlashWrite(0, 1, 0, 2, buf); }},
    };
    int i = 0;
    for (const auto& [older, current] : pairs) {
        const Bytes reply = i == 2 ? answer(0, {1, 2}) : i == 3 ? answer(0, Bytes(8, 1)) : i == 11 ? answer(0, {1, 2}) : answer(0);
        peer.script(reply);
        const int a = older();
        const std::string sentA = lastRequest();
        peer.script(reply);
        const int b = current();
        EXPECT_EQ(a, b) << "pair " << i;
        EXPECT_EQ(sentA, lastRequest()) << "pair " << i;
        ++i;
    }
}

TEST(ReaderControlWithoutReader, EveryCommandIsMinusOne) {
    ReaderClose(0);
    unsigned char buf[256] = {};
    unsigned short id;
    const int results[] = {
        rf_Reader_SetID(0, 1), rf_Reader_GetID(0, &id), rf_Reader_GetFirmwareVer(0, buf), rf_Reader_GetSN(0, buf),
        rf_Reader_SetBeep(0, 1), rf_Reader_SetISOType(0, 1), rf_Reader_SetAntenna(0, 2), rf_Reader_AntennaON(0),
        rf_Reader_AntennaOFF(0), rf_Reader_SetLight(0, 1), rf_Reader_SetAuthenticationStandard(0, 1),
        rf_Reader_DigtalDisplay(0, 1, 9, buf), rf_Reader_FlashRead(0, 0, 57, 200, buf),
        rf_Reader_FlashWrite(0, 0, 0, 225, buf), rf_Reader_GetFirmwareVer(0, nullptr),
    };
    for (int rc : results) EXPECT_EQ(rc, -1);
}

} // namespace

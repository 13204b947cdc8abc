#include "link/trace.h"

#include "varrok.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace varrok::trace {

namespace {

struct Name {
    std::uint8_t code;
    const char* name;
};

// The export behind each command code, as a reader's frame carries it.
// clang-format off
constexpr Name kNames[] = {
    {0x02, "rf_Reader_SetID"}, {0x03, "rf_Reader_GetID"}, {0x04, "rf_Reader_GetFirmwareVer"},
    {0x05, "rf_Reader_GetSN"}, {0x06, "rf_Reader_SetBeep"}, {0x07, "rf_init_sam"}, {0x08, "rf_sam_rst"},
    {0x09, "rf_sam_cos"}, {0x0A, "rf_Reader_SetISOType"}, {0x0B, "rf_Reader_SetAntenna"},
    {0x0C, "rf_ISO14443A_Request"}, {0x0D, "rf_anticoll"}, {0x0E, "rf_select"}, {0x0F, "rf_ISO14443A_Halt"},
    {0x10, "rf_ISO14443A_GetCard"}, {0x11, "rf_M1_AuthenticateByDownloadedKey"}, {0x12, "rf_M1_Authentication"},
    {0x13, "rf_M1_Read"}, {0x14, "rf_M1_Write"}, {0x15, "rf_M1_PurseCreate"}, {0x16, "rf_M1_PurseRead"},
    {0x17, "rf_M1_PurseDecrement"}, {0x18, "rf_M1_PurseIncrement"}, {0x19, "rf_M1_PurseRestore"},
    {0x1A, "rf_M1_PurseTransfer"}, {0x1B, "rf_typea_rst"}, {0x1C, "rf_ISO14443_4_COS"},
    {0x1D, "rf_ISO14443B_Request"}, {0x1E, "rf_ISO14443B_Attribute"}, {0x1F, "rf_ISO14443_4_TypeA_RATS"},
    {0x20, "rf_ISO14443B_Halt"}, {0x21, "rf_AT88RF020_Check"}, {0x22, "rf_AT88RF020_Read"},
    {0x23, "rf_AT88RF020_write"}, {0x24, "rf_AT88RF020_Lock"}, {0x25, "rf_AT88RF020_Count"},
    {0x26, "rf_AT88RF020_Deselect"}, {0x27, "rf_Reader_SetLight"}, {0x28, "rf_cl_deselect"},
    {0x29, "rf_ST_GetCard"}, {0x2A, "rf_ST_Completion"}, {0x2B, "rf_ST_SR176_ReadBlock"},
    {0x2C, "rf_ST_SR176_WriteBlock"}, {0x2D, "rf_ST_SR176_ProtectBlock"}, {0x2E, "rf_ST_SRI_ReadBlock"},
    {0x2F, "rf_ST_SRI_WriteBlock"}, {0x30, "rf_ST_SRIX_Authenticate"}, {0x31, "rf_ST_SRI_GetUID"},
    {0x32, "rf_ST_SRI_WriteLockReg"}, {0x34, "rf_UltraLight_Write"}, {0x35, "rf_Reader_SetAuthenticationStandard"},
    {0x36, "rf_UltraLightC_Authentication"}, {0x40, "rf_ISO15693_Inventory"}, {0x41, "rf_ISO15693_StayQuiet"},
    {0x42, "rf_ISO15693_Select"}, {0x43, "rf_ISO15693_ResetToReady"}, {0x44, "rf_ISO15693_Read"},
    {0x45, "rf_ISO15693_Write"}, {0x46, "rf_ISO15693_LockBlock"}, {0x47, "rf_ISO15693_WriteAFI"},
    {0x48, "rf_ISO15693_LockAFI"}, {0x49, "rf_ISO15693_WriteDSFID"}, {0x4A, "rf_ISO15693_LockDSFID"},
    {0x4B, "rf_ISO15693_GetSystemInfomation"}, {0x4C, "rf_ISO15693_GetBlockSecurity"},
    {0x4D, "rf_ISO15693_MultiInventory"}, {0x60, "rf_Reader_DigtalDisplay"}, {0x61, "rf_Reader_FlashRead"},
    {0x62, "rf_Reader_FlashWrite"}, {0x66, "rf_sam_rst_byid"}, {0x67, "rf_sam_cos_byid"},
    {0x68, "rf_sam_rst_byid"}, {0x69, "rf_sam_cos_byid"}, {0x6B, "rf_sam_cos_byid"},
    {0x6C, "rf_init_sam_byid"}, {0x6D, "rf_init_sam_byid"}, {0x6E, "rf_init_sam_byid"},
    {0x71, "rf_MFP_L0CommitPerso"}, {0x72, "rf_MFP_SwitchToHighLevel"}, {0x73, "rf_MFP_DataBlockAuthentication"},
    {0x74, "rf_MFP_L3Read"}, {0x75, "rf_MFP_L3Write"}, {0x76, "rf_MFP_L3PurseCreate"},
    {0x77, "rf_MFP_L3PurseRead"}, {0x78, "rf_MFP_L3PurseIncrement"}, {0x79, "rf_MFP_L3PurseDecrement"},
    {0x7A, "rf_MFP_L3PurseBackup"}, {0x7B, "rf_MFP_FirstAuthentication"}, {0x7C, "rf_MFP_FollowingAuthentication"},
    {0x80, "rf_ISO14443A_Anticollision"}, {0x81, "rf_ISO14443A_Select"}, {0x82, "rf_M1_DownloadKeyToReader"},
    {0x83, "rf_ST_SR176_GetProtectReg"}, {0x84, "rf_set_sam_pps_byid"}, {0x85, "rf_set_sam_pps_byid"},
    {0x86, "rf_set_sam_pps_byid"}, {0x87, "rf_set_sam_pps_byid"}, {0x88, "rf_M1_MultiRead"},
    {0x8A, "rf_AT88RF020_MultiRead"}, {0x8B, "rf_AT88RF020_MultiWrite"}, {0x8C, "rf_ST_SR176_MultiRead"},
    {0x8E, "rf_ST_SRI_MultiRead"}, {0x90, "rf_SAM_InitBaudrate"}, {0x91, "rf_SAM_RST"}, {0x92, "rf_SAM_SetPPS"},
    {0x93, "rf_SAM_COS"}, {0x94, "rf_ISO14443A_AnticollisionAndSelect"}, {0x97, "rf_ISO14443B_GetCard"},
    {0xA0, "rf_ICODE1_Request"}, {0xA1, "rf_ICODE1_Read"}, {0xA2, "rf_ICODE1_Write"}, {0xA3, "rf_ICODE1_Halt"},
    {0xB0, "rf_DF_Authenticat"}, {0xB1, "rf_DF_ChangeKeySettings"}, {0xB2, "rf_DF_GetKeySetting"},
    {0xB3, "rf_DF_ChangeKey"}, {0xB4, "rf_DF_GetKeyVer"}, {0xB5, "rf_DF_CreateApp"}, {0xB6, "rf_DF_DeletApp"},
    {0xB7, "rf_DF_GetAppIDs"}, {0xB8, "rf_DF_SelectApp"}, {0xB9, "rf_DF_FormatPICC"}, {0xBA, "rf_DF_GetVer"},
    {0xBB, "rf_DF_GetFileIDs"}, {0xBC, "rf_DF_GetFileSettings"}, {0xBD, "rf_DF_ChangeFileSettings"},
    {0xBE, "rf_DF_CreateStdDataFile"}, {0xBF, "rf_DF_CreateBackupDataFile"}, {0xC0, "rf_DF_CreateValueFile"},
    {0xC1, "rf_DF_CreateLinearRecordFile"}, {0xC2, "rf_DF_CreateCyclicRecordFile"}, {0xC3, "rf_DF_DeleteFile"},
    {0xC4, "rf_DF_ReadData"}, {0xC5, "rf_DF_WriteData"}, {0xC6, "rf_DF_GetValue"}, {0xC7, "rf_DF_Credit"},
    {0xC8, "rf_DF_Debit"}, {0xC9, "rf_DF_LimitedCredit"}, {0xCA, "rf_DF_WriteRecord"}, {0xCB, "rf_DF_ReadRecord"},
    {0xCC, "rf_DF_ClearRecordFile"}, {0xCD, "rf_DF_CommitTransaction"}, {0xCE, "rf_DF_AbortTransaction"},
    {0xE0, "rf_USSEN"}, {0xFD, "rf_IDCard_Request"}, {0xFE, "rf_IDCard_COS"},
};
// clang-format on

// The frame's bytes with the stuffing taken out (the start bytes stay).
std::vector<std::uint8_t> unstuffed(const CCommPacket& frame) {
    const std::uint8_t* raw = frame.buffer();
    std::vector<std::uint8_t> out;
    for (std::uint32_t i = 0; i < frame.length(); ++i) {
        out.push_back(raw[i]);
        if (i >= 2 && raw[i] == 0xAA) ++i;
    }
    return out;
}

// Where the trace goes. The variables are looked at before every exchange
// and the file is (re)opened only when they changed, so a program may switch
// the trace on and off while it runs (the card tool's trace pane does).
constexpr const char* kNeverSeen = "";

class Sink {
  public:
    ~Sink() { close(); }

    // Follows the variables' current values; true when a trace is open.
    bool follow(const char* path, const char* format) {
        std::lock_guard lock(mutex_);
        const std::string wantedPath = path != nullptr ? path : "";
        const bool wantedPcap = format != nullptr && std::strcmp(format, "pcap") == 0;
        if (wantedPath != path_ || wantedPcap != pcap_) {
            close();
            path_ = wantedPath;
            pcap_ = wantedPcap;
            if (!path_.empty()) openFile();
        }
        seenPath_.store(path, std::memory_order_relaxed);
        seenFormat_.store(format, std::memory_order_relaxed);
        open_.store(file_ != nullptr, std::memory_order_relaxed);
        return file_ != nullptr;
    }

    // True when the variables still point where they did at the last look:
    // setenv and putenv give a changed variable a new string.
    bool unchanged(const char* path, const char* format) const {
        return path == seenPath_.load(std::memory_order_relaxed) &&
               format == seenFormat_.load(std::memory_order_relaxed);
    }
    bool open() const { return open_.load(std::memory_order_relaxed); }

    void line(const std::string& reader, char direction, std::string_view name, const std::string& what,
              const CCommPacket& frame) {
        const auto now = std::chrono::system_clock::now();
        std::lock_guard lock(mutex_);
        if (file_ == nullptr) return; // switched off since this exchange began
        if (pcap_) return packet(now, reader, direction, frame);
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
        const std::time_t seconds = micros / 1000000;
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &seconds);
#else
        localtime_r(&seconds, &tm);
#endif
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
        std::fprintf(file_, "%s.%06lld %s %s %.*s %s |", stamp, static_cast<long long>(micros % 1000000),
                     reader.c_str(), direction == '>' ? "->" : "<-", static_cast<int>(name.size()),
                     name.data(), what.c_str());
        for (std::uint32_t i = 0; i < frame.length(); ++i)
            std::fprintf(file_, " %02X", frame.buffer()[i]);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

  private:
    void openFile() {
        if (path_ == "-" && !pcap_) {
            file_ = stderr;
            return;
        }
        file_ = std::fopen(path_.c_str(), pcap_ ? "wb" : "a");
        if (file_ == nullptr) {
            std::fprintf(stderr, "varrok: cannot open the trace file %s\n", path_.c_str());
            return;
        }
        if (pcap_) writePcapHeader();
    }
    void close() {
        if (file_ != nullptr && file_ != stderr) std::fclose(file_);
        file_ = nullptr;
    }

    void put32(std::uint32_t v) { std::fwrite(&v, 4, 1, file_); }
    void put16(std::uint16_t v) { std::fwrite(&v, 2, 1, file_); }

    void writePcapHeader() {
        put32(0xA1B2C3D4); // microsecond time stamps, in this host's byte order
        put16(2);
        put16(4);
        put32(0);
        put32(0);
        put32(65535);
        put32(147); // USER0: our own frames
        std::fflush(file_);
    }

    void packet(std::chrono::system_clock::time_point now, const std::string& reader, char direction,
                const CCommPacket& frame) {
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
        const std::size_t nameLength = reader.size() < 255 ? reader.size() : 255;
        const auto size = static_cast<std::uint32_t>(2 + nameLength + frame.length());
        put32(static_cast<std::uint32_t>(micros / 1000000));
        put32(static_cast<std::uint32_t>(micros % 1000000));
        put32(size);
        put32(size);
        std::fputc(direction == '>' ? 0 : 1, file_);
        std::fputc(static_cast<int>(nameLength), file_);
        std::fwrite(reader.data(), 1, nameLength, file_);
        std::fwrite(frame.buffer(), 1, frame.length(), file_);
        std::fflush(file_);
    }

    std::FILE* file_ = nullptr;
    std::string path_;
    bool pcap_ = false;
    std::mutex mutex_;
    // What the last look found; a sentinel so that the first exchange looks.
    std::atomic<const char*> seenPath_{kNeverSeen};
    std::atomic<const char*> seenFormat_{kNeverSeen};
    std::atomic<bool> open_{false};
};

Sink& sink() {
    static Sink instance;
    return instance;
}

std::string outcome(const CCommPacket& frame, int rc) {
    if (rc == VARROK_BAD_HEADER) return "no answer or bad header (9)";
    if (rc != 0) return "answer incomplete (" + std::to_string(rc) + ")";
    CCommPacket decoded = frame;
    decoded.decode();
    if (decoded.checksum() != 0) return "checksum error (252)";
    char text[48];
    const std::uint8_t status = decoded.status();
    std::snprintf(text, sizeof text, "status %02X%s, %d data bytes", status, status == 0 ? " ok" : "",
                  decoded.dataLength());
    return text;
}

} // namespace

bool enabled() {
    const char* path = std::getenv("VARROK_TRACE");
    const char* format = std::getenv("VARROK_TRACE_FORMAT");
    Sink& s = sink();
    if (s.unchanged(path, format)) return s.open();
    return s.follow(path, format);
}

std::string_view commandName(std::uint8_t command, int bodyLength) {
    switch (command) { // the codes several exports share
    case 0x70:
        return bodyLength == 18 ? "rf_MFP_L0WritePerso" : "rf_AT88RF080_Request";
    case 0x6A:
        return bodyLength == 0 ? "rf_sam_rst_byid" : "rf_sam_set_protocol_byid";
    case 0x89:
        return "rf_M1_MultiWrite/rf_ST_SR176_MultiWrite/rf_ST_SRI_MultiWrite";
    default:
        break;
    }
    for (const Name& n : kNames)
        if (n.code == command) return n.name;
    return "unknown command";
}

Sent request(const std::string& reader, const CCommPacket& frame) {
    const auto plain = unstuffed(frame);
    if (plain.size() < 8) return {};
    const Sent sent{plain[6], static_cast<int>(plain.size()) - 8};
    char what[40];
    std::snprintf(what, sizeof what, "command %02X, %d data bytes", sent.command, sent.bodyLength);
    sink().line(reader, '>', commandName(sent.command, sent.bodyLength), what, frame);
    return sent;
}

void answer(const std::string& reader, Sent sent, const CCommPacket& frame, int rc) {
    sink().line(reader, '<', commandName(sent.command, sent.bodyLength), outcome(frame, rc), frame);
}

} // namespace varrok::trace

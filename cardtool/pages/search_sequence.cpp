#include "pages/search_sequence.h"

#include <algorithm>

#include "services/app_context.h"
#include "services/library_calls.h"
#include "widgets/hex_edit.h"

bool RunSearch(ResultSink& result, int attempts, const std::vector<SearchStep>& steps) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        bool through = true;
        for (const SearchStep& step : steps) {
            if (step.pauseBefore > 0)
                LibraryCalls::pauseCurrent(step.pauseBefore);
            const int code = step.call();
            if (code != 0) {
                result.ShowResult(code, step.function);
                through = false;
                break;
            }
        }
        if (through) return true;
    }
    return false;
}

QByteArray TypeASerial(const unsigned char* answer, int length, int uidLength) {
    constexpr int kCardInfo = 3;
    constexpr int kMostKept = 16;
    const int kept = std::clamp(std::min({uidLength, kMostKept, length - kCardInfo}), 0, kMostKept);
    return QByteArray(reinterpret_cast<const char*>(answer + kCardInfo), kept);
}

bool FindTypeACard(AppContext& app, int attempts, HexEdit& cardNumber, bool& cardFound) {
    ResultSink& result = app.results();
    if (!app.CurrentConnection.IsConnected()) {
        result.ShowError("Reader isn't connected!");
        return false;
    }
    const ReaderApi& api = app.api();
    const unsigned short icdev = app.CurrentConnection.icdev();
    unsigned char answer[256] = {};
    unsigned char length = 0;
    unsigned char uidLength = 0;
    const bool found = RunSearch(result, attempts,
                                 {{"rf_antenna_sta", 0, [&] { return api.rf_antenna_sta(icdev, 0); }},
                                  {"rf_init_type", 20, [&] { return api.rf_init_type(icdev, 'A'); }},
                                  {"rf_antenna_sta", 20, [&] { return api.rf_antenna_sta(icdev, 1); }},
                                  {"rf_search_type_a", 50, [&] {
                                       return api.rf_search_type_a(icdev, 0x52, answer, &length, &uidLength);
                                   }}});
    if (!found) {
        cardNumber.clear();
        cardFound = false;
        return false;
    }
    cardNumber.showBytes(TypeASerial(answer, length, uidLength));
    cardFound = true;
    result.ShowSuccess("Search card successfully");
    return true;
}

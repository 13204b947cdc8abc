#include "services/result_sink.h"

bool ReportCall(ResultSink& sink, int code, const QString& failName, const QString& successText,
                bool shortAnswer) {
    if (code == 0 && shortAnswer) code = kWrongLength;
    if (code != 0) {
        sink.ShowResult(code, failName);
        return false;
    }
    if (!successText.isEmpty()) sink.ShowSuccess(successText);
    return true;
}

// Where pages and dialogs report the outcome of each operation: the main
// window's result line, which sits above them.
#pragma once

#include <QString>

// Where pages and dialogs report the outcome of each operation.
class ResultSink {
  public:
    virtual ~ResultSink() = default;
    // code 0: success; otherwise "Error: %x" naming the failed function, with a beep.
    virtual void ShowResult(int code, const QString& functionName = QString()) = 0;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowSuccess(const QString& text) = 0;
    // An operation the user stopped: neither a success nor an error of the
    // reader, so no "Error: " and no beep.
    virtual void ShowStopped(const QString& text) { ShowError(text); }
};

// The library's own code for an answer of the wrong length.
inline constexpr int kWrongLength = -5;

// How one library call went, on sink, and whether it succeeded: a failing
// code shows under failName; a call that returned 0 with a short answer is a
// failure too, shown as kWrongLength; a success shows successText, if any.
bool ReportCall(ResultSink& sink, int code, const QString& failName, const QString& successText = QString(),
                bool shortAnswer = false);

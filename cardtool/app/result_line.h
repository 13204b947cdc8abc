// The result line at the right end of the menu bar: one icon and one line of
// text telling how the last operation went. It is an ordinary child of the
// main window (not a menu-bar corner widget), so screen readers and UI
// automation can read its text.
#pragma once

#include <QWidget>

class QLabel;

// Where pages and dialogs report the outcome of each operation.
class ResultSink {
  public:
    virtual ~ResultSink() = default;
    // code 0: success; otherwise "Error: %x" naming the failed function, with a beep.
    virtual void ShowResult(int code, const QString& functionName = QString()) = 0;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowSuccess(const QString& text) = 0;
};

// The library's own code for an answer of the wrong length.
inline constexpr int kWrongLength = -5;

// How one library call went, on sink, and whether it succeeded: a failing
// code shows under failName; a call that returned 0 with a short answer is a
// failure too, shown as kWrongLength; a success shows successText, if any.
bool ReportCall(ResultSink& sink, int code, const QString& failName, const QString& successText = QString(),
                bool shortAnswer = false);

class ResultLine : public QWidget, public ResultSink {
    Q_OBJECT
  public:
    static constexpr int kWidth = 432;

    explicit ResultLine(QWidget* parent);
    void ShowResult(int code, const QString& functionName = QString()) override;
    void ShowError(const QString& text) override;
    void ShowSuccess(const QString& text) override;

    QString text() const;
    bool isError() const { return error_; }
    // The texts ShowResult shows.
    static QString resultText(int code, const QString& functionName);

  signals:
    void shown(const QString& text);

  private:
    void show(const QString& text, bool error);

    QLabel* icon_;
    QLabel* text_;
    bool error_ = false;
};

// The result line at the right end of the menu bar: one icon and one line of
// text telling how the last operation went. It is an ordinary child of the
// main window (not a menu-bar corner widget), so screen readers and UI
// automation can read its text.
#pragma once

#include <QWidget>

#include "services/result_sink.h"

class QLabel;

class ResultLine : public QWidget, public ResultSink {
    Q_OBJECT
  public:
    static constexpr int kWidth = 432;

    explicit ResultLine(QWidget* parent);
    void ShowResult(int code, const QString& functionName = QString()) override;
    void ShowError(const QString& text) override;
    void ShowSuccess(const QString& text) override;
    void ShowStopped(const QString& text) override;

    QString text() const;
    bool isError() const { return error_; }
    // The texts ShowResult shows.
    static QString resultText(int code, const QString& functionName);

  signals:
    void shown(const QString& text);

  private:
    void show(const QString& text, bool error, bool beep = true);

    QLabel* icon_;
    QLabel* text_;
    bool error_ = false;
};

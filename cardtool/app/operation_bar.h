// OperationBar: the status of a long operation at the foot of the main window:
// how many exchanges it has made and for how long, and a Stop button. It
// appears once an operation has run for a moment and goes when it ends; when
// the operation was stopped, the result line says so.
#pragma once

#include <QWidget>
#include <functional>

class LibraryCalls;
class QLabel;
class QPushButton;
class QTimer;
class ResultSink;

class OperationBar : public QWidget {
    Q_OBJECT
  public:
    // Operations shorter than this never show the bar.
    static constexpr int kShowAfterMs = 300;

    // translate: the catalog's look-up for the bar's texts.
    OperationBar(LibraryCalls& calls, ResultSink& results, std::function<QString(const QString&)> translate,
                 QWidget* parent);
    QPushButton* stopButton() const { return stop_; }
    QString text() const;

  private:
    void onProgress(int exchanges, qint64 elapsedMs);
    void showProgress();
    void onEnded(bool stopped, int exchanges);

    LibraryCalls& calls_;
    ResultSink& results_;
    QTimer* showTimer_;
    int exchanges_ = 0;
    std::function<QString(const QString&)> translate_;
    QLabel* label_;
    QPushButton* stop_;
};

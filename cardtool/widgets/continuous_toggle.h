// The toggle button that repeats one operation every 50 ms until clicked
// again ("Continuous Search", "Continuous Reset", ...). Each tick stops the
// timer, runs the operation once and starts the timer again, so ticks never
// overlap; failures are reported and the repetition goes on.
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <functional>

class QPushButton;

class ContinuousToggle : public QObject {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 50;

    // startCaption: the English caption to restore after a stop; chineseStart
    // the one for any other language. languageId tells which one applies.
    ContinuousToggle(QPushButton* button, QString startCaption, QString chineseStart,
                     std::function<QString()> languageId, std::function<void()> operation);

    bool running() const { return timer_.isActive(); }
    void toggle();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    QPushButton* button_;
    QString startCaption_;
    QString chineseStart_;
    std::function<QString()> languageId_;
    std::function<void()> operation_;
    QBasicTimer timer_;
};

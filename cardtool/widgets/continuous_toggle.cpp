#include "widgets/continuous_toggle.h"

#include <QPushButton>
#include <QTimerEvent>

#include "services/library_calls.h"

namespace {
const QString kStopEnglish = QStringLiteral("Stop");
const QString kStopChinese = QStringLiteral("\u505C\u6B62"); // 停止
} // namespace

ContinuousToggle::ContinuousToggle(QPushButton* button, QString startCaption, QString chineseStart,
                                   std::function<QString()> languageId, std::function<void()> operation)
    : QObject(button), button_(button), startCaption_(std::move(startCaption)),
      chineseStart_(std::move(chineseStart)), languageId_(std::move(languageId)),
      operation_(std::move(operation)) {
    connect(button_, &QPushButton::clicked, this, &ContinuousToggle::toggle);
}

void ContinuousToggle::toggle() {
    const bool english = languageId_() == QLatin1String("en_US");
    // The caption decides the direction, as the user sees it.
    const QString caption = button_->text();
    if (caption != kStopEnglish && caption != kStopChinese) {
        timer_.start(kIntervalMs, this);
        button_->setText(english ? kStopEnglish : kStopChinese);
        // While it runs, its click stops the search in flight too, at the next exchange.
        button_->setProperty(LibraryCalls::kStopsProperty, true);
    } else {
        timer_.stop();
        button_->setProperty(LibraryCalls::kStopsProperty, false);
        button_->setText(english ? startCaption_ : chineseStart_);
    }
    button_->setAccessibleName(button_->text());
}

void ContinuousToggle::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return;
    timer_.stop();
    operation_();
    // A click during the operation (a message box runs its own event loop) has stopped us.
    if (button_->text() == kStopEnglish || button_->text() == kStopChinese) timer_.start(kIntervalMs, this);
}

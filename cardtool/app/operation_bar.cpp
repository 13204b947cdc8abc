#include "app/operation_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "services/library_calls.h"
#include "services/result_sink.h"

OperationBar::OperationBar(LibraryCalls& calls, ResultSink& results,
                           std::function<QString(const QString&)> translate, QWidget* parent)
    : QWidget(parent), calls_(calls), results_(results), showTimer_(new QTimer(this)),
      translate_(std::move(translate)), label_(new QLabel(this)), stop_(new QPushButton(this)) {
    setObjectName("operationBar");
    setAutoFillBackground(true);
    label_->setObjectName("operationProgress");
    stop_->setObjectName("stopOperation");
    stop_->setText(translate_(QStringLiteral("Stop")));
    stop_->setProperty(LibraryCalls::kStopsProperty, true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(label_, 1);
    layout->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, &calls, &LibraryCalls::requestStop);
    // A reader that does not answer holds the first call for its whole time-out:
    // the bar comes after a moment, whether calls have ended or not.
    showTimer_->setSingleShot(true);
    showTimer_->setInterval(kShowAfterMs);
    connect(showTimer_, &QTimer::timeout, this, &OperationBar::showProgress);
    connect(&calls, &LibraryCalls::operationStarted, this, [this] {
        exchanges_ = 0;
        showTimer_->start();
    });
    connect(&calls, &LibraryCalls::progress, this, &OperationBar::onProgress);
    connect(&calls, &LibraryCalls::operationEnded, this, &OperationBar::onEnded);
    hide();
}

QString OperationBar::text() const { return label_->text(); }

void OperationBar::onProgress(int exchanges, qint64 elapsedMs) {
    exchanges_ = exchanges;
    if (elapsedMs >= kShowAfterMs) showProgress();
}

void OperationBar::showProgress() {
    if (!calls_.operationRunning()) return;
    label_->setText(translate_(QStringLiteral("Working: %1 exchanges, %2 s (Escape or Stop ends it)"))
                        .arg(exchanges_)
                        .arg(double(calls_.elapsedMs()) / 1000.0, 0, 'f', 1));
    if (isHidden()) {
        raise();
        show();
    }
}

void OperationBar::onEnded(bool stopped, int exchanges) {
    showTimer_->stop();
    hide();
    // Whatever the page shows stays; the line tells how far it got.
    if (stopped)
        results_.ShowStopped(
            translate_(QStringLiteral("Stopped by the user after %1 exchanges")).arg(exchanges));
}

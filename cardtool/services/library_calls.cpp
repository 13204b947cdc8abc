#include "services/library_calls.h"

#include "services/call_worker.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <thread>

namespace {
LibraryCalls* latest = nullptr;

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}
} // namespace

// One worker: the library's calls on one reader are made in order anyway, and
// the handler waits for each before the next.
LibraryCalls::LibraryCalls() : worker_(std::make_unique<CallWorker>()) { latest = this; }

LibraryCalls::~LibraryCalls() {
    waitIdle();
    if (latest == this) latest = nullptr;
}

void LibraryCalls::waitIdle() { worker_->waitIdle(); }

bool LibraryCalls::onGuiThread() const {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void LibraryCalls::begin() {
    if (!filterInstalled_) {
        QCoreApplication::instance()->installEventFilter(this);
        filterInstalled_ = true;
    }
    if (running_) return;
    running_ = true;
    stop_ = false;
    exchanges_ = 0;
    baseLevel_ = QThread::currentThread()->loopLevel();
    elapsed_.start();
    sincePumped_.start();
    emit operationStarted();
}

void LibraryCalls::waitInLoop(QEventLoop& loop) {
    loop_ = &loop;
    ++depth_;
    loop.exec();
    --depth_;
    loop_ = nullptr;
}

void LibraryCalls::postEndCheck() {
    // The end of the operation is seen once the loop that started it is idle.
    if (endCheckPosted_) return;
    endCheckPosted_ = true;
    QTimer::singleShot(0, this, &LibraryCalls::checkEnd);
}

int LibraryCalls::runStatus(const std::function<int()>& call) {
    if (!onGuiThread()) return call();
    if (depth_ > 0) return kRefused;
    begin();
    if (stop_) return kStopped;
    worker_->post(call);
    // A reader that answers takes a millisecond or two: the GUI thread waits
    // for that without an event loop, as long as it has not gone more than
    // kQuietMs without handling events (a read of many blocks repaints that
    // often, not after every block). A slower call is waited for in the loop.
    const qint64 budget = kQuietMs - sincePumped_.elapsed();
    if (budget <= 0 || !worker_->waitDone(std::chrono::milliseconds(budget))) {
        QEventLoop loop;
        worker_->waitInLoop(loop, [this](QEventLoop& l) { waitInLoop(l); });
        sincePumped_.start();
        worker_->waitDone(std::chrono::hours(1)); // a call always ends within its time-out
    }
    const int result = worker_->collect();
    postEndCheck();
    ++exchanges_;
    emit progress(exchanges_, elapsed_.elapsed());
    return result;
}

void LibraryCalls::pause(int milliseconds) {
    if (milliseconds <= 0) return;
    if (!onGuiThread() || depth_ > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    begin();
    if (stop_) return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    waitInLoop(loop);
    sincePumped_.start();
    postEndCheck();
}

void LibraryCalls::pauseCurrent(int milliseconds) {
    if (latest != nullptr)
        latest->pause(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void LibraryCalls::requestStop() {
    if (!running_) return;
    stop_ = true;
    // A pause ends at once; a call in flight ends with its exchange.
    if (loop_ != nullptr && !worker_->busy()) loop_->quit();
}

void LibraryCalls::checkEnd() {
    endCheckPosted_ = false;
    if (!running_ || depth_ > 0) return;
    if (QThread::currentThread()->loopLevel() > baseLevel_) {
        // A message box of the handler is open: look again later.
        endCheckPosted_ = true;
        QTimer::singleShot(50, this, &LibraryCalls::checkEnd);
        return;
    }
    running_ = false;
    const bool stopped = stop_;
    stop_ = false;
    emit operationEnded(stopped, exchanges_);
    for (const QPointer<QWidget>& window : std::exchange(closeLater_, {}))
        if (window) QTimer::singleShot(0, window, &QWidget::close);
}

bool LibraryCalls::eventFilter(QObject* watched, QEvent* event) {
    if (depth_ == 0 || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Close && widget->isWindow()) {
        // Closed under a call: the library must not go while the call runs.
        requestStop();
        closeLater_.append(widget);
        event->ignore();
        return true;
    }
    if (!isUserInput(event->type())) return false;
    if (widget->property(kStopsProperty).toBool()) {
        if (event->type() == QEvent::MouseButtonRelease) requestStop();
        return false;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        requestStop();
    return true;
}

#include "services/call_worker.h"

#include <QEventLoop>

namespace {

// Spins until ready() or kSpin has passed; true when ready.
template <class Ready> bool spin(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + CallWorker::kSpin;
    do {
        if (ready()) return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < until);
    return ready();
}

} // namespace

CallWorker::CallWorker() : thread_([this] { run(); }) {}

CallWorker::~CallWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CallWorker::post(std::function<int()> call) {
    {
        std::lock_guard lock(mutex_);
        call_ = std::move(call);
        state_.store(Posted, std::memory_order_release);
    }
    wake_.notify_one();
}

void CallWorker::run() {
    for (;;) {
        if (!spin([this] { return state_.load(std::memory_order_acquire) == Posted; })) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || state_.load() == Posted; });
            if (quit_) return;
        }
        const int result = call_();
        QEventLoop* loop = nullptr;
        {
            std::lock_guard lock(mutex_);
            result_ = result;
            call_ = nullptr;
            state_.store(Done, std::memory_order_release);
            loop = loop_;
        }
        done_.notify_all();
        // The loop is still there: the caller leaves it only through this quit.
        if (loop != nullptr) QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

bool CallWorker::waitDone(std::chrono::milliseconds timeout) {
    if (spin([this] { return state_.load(std::memory_order_acquire) == Done; })) return true;
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, timeout, [this] { return state_.load() == Done; });
}

void CallWorker::waitInLoop(QEventLoop& loop, const std::function<void(QEventLoop&)>& exec) {
    {
        std::lock_guard lock(mutex_);
        if (state_.load() == Done) return;
        loop_ = &loop;
    }
    exec(loop);
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
}

int CallWorker::collect() {
    std::lock_guard lock(mutex_);
    state_.store(Idle, std::memory_order_release);
    return result_;
}

void CallWorker::waitIdle() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return state_.load() != Posted; });
}

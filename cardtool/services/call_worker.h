// CallWorker: the one thread the card tool's library calls run on, with a
// slot for one call at a time.
//
// The hand-over is paid on every call. A reader on the simulator answers in
// tens of microseconds, and waking a sleeping thread costs about as much on
// each side, so each side first spins a moment (kSpin) before it sleeps: the
// worker waiting for the next call of a sequence, the caller waiting for an
// answer that comes at once. A real reader at 115200 bit/s takes milliseconds
// per exchange, so the spin is a small part of its time.
#pragma once

#include <QPointer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QEventLoop;

class CallWorker {
  public:
    static constexpr std::chrono::microseconds kSpin{150};

    CallWorker();
    ~CallWorker();
    CallWorker(const CallWorker&) = delete;
    CallWorker& operator=(const CallWorker&) = delete;

    // Hands a call over; the previous one must have been collected.
    void post(std::function<int()> call);
    // Waits up to timeout for the call's answer; true when it is there.
    bool waitDone(std::chrono::milliseconds timeout);
    // Runs loop until the call's answer is there (at once if it already is).
    void waitInLoop(QEventLoop& loop, const std::function<void(QEventLoop&)>& exec);
    // The answer of a call that is done; the slot is free again.
    int collect();
    bool busy() const { return state_.load(std::memory_order_acquire) == Posted; }
    // Waits until no call runs.
    void waitIdle();

  private:
    enum State { Idle, Posted, Done };
    void run();

    std::mutex mutex_;
    std::condition_variable wake_; // the worker: a call or the end
    std::condition_variable done_; // the caller: an answer
    std::atomic<int> state_{Idle};
    std::function<int()> call_;
    int result_ = 0;
    QEventLoop* loop_ = nullptr; // the caller's loop while it waits in one
    bool quit_ = false;
    std::thread thread_;
};

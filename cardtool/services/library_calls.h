// LibraryCalls: runs the reader library's calls off the GUI thread, so the
// window keeps painting and answering while a reader works or times out.
//
// Why a local event loop rather than signals and callbacks: every handler of
// the tool is a sequence (search, authenticate, read block 0, 1, 2 ...) with
// pauses and texts in between. Rewriting each as a state machine would scatter
// those sequences. Instead each library call is handed to one worker thread
// while the handler waits for it in a QEventLoop; the handler reads as before
// and the window repaints meanwhile. (A call that answers within a few
// milliseconds is waited for without the loop, so a read of many blocks is
// not slowed by a repaint after each; events are still handled every kQuietMs.) The price is re-entrancy:
// while the loop runs, user input is refused (filtered, never queued), a second call from the GUI thread is
// refused, and closing a window is put off until the operation has ended. Escape, the Stop button and a
// running continuous toggle are the only input let through: they ask the operation to stop, which happens at
// the next exchange (a call in flight always finishes within the library's own time-out).
//
// An operation is everything a handler does from its first call until the
// event loop it was started from is idle again; its calls are counted for the
// progress shown and its end is announced.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <type_traits>

class CallWorker;
class QEventLoop;
class QWidget;

class LibraryCalls : public QObject {
    Q_OBJECT
  public:
    // What a call returns when it was not made: the operation was stopped, or
    // a call was already in flight.
    static constexpr int kStopped = -100;
    static constexpr int kRefused = -101;
    // Widgets with this property set to true stop the operation when clicked
    // and are let through while it runs.
    static constexpr const char* kStopsProperty = "oskelleStopsOperation";

    // The longest the GUI thread goes without handling events while calls answer quickly.
    static constexpr int kQuietMs = 20;

    LibraryCalls();
    ~LibraryCalls() override;

    // Runs fn(args...) on the worker while the GUI thread waits in a local
    // event loop. Calls that return anything but a status code are quick
    // look-ups and run in place.
    template <class R, class... A> R run(R (*fn)(A...), A... args) {
        if constexpr (!std::is_same_v<R, int>)
            return fn(args...);
        else
            return runStatus([&] { return fn(args...); });
    }
    // The pause between two steps of a sequence: the window keeps painting and
    // a stop cuts it short.
    void pause(int milliseconds);
    // The same for code that has no binding at hand: the most recent one, or a plain sleep.
    static void pauseCurrent(int milliseconds);

    void requestStop();
    bool operationRunning() const { return running_; }
    bool inCall() const { return depth_ > 0; }
    qint64 elapsedMs() const { return running_ ? elapsed_.elapsed() : 0; }
    // Waits for the call in flight, if any; before the library is unloaded.
    void waitIdle();

  signals:
    void operationStarted();
    // exchanges: the calls made so far by the operation running.
    void progress(int exchanges, qint64 elapsedMs);
    void operationEnded(bool stopped, int exchanges);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int runStatus(const std::function<int()>& call);
    bool onGuiThread() const;
    void begin();
    void waitInLoop(QEventLoop& loop);
    void checkEnd();
    void postEndCheck();

    std::unique_ptr<CallWorker> worker_;
    bool running_ = false;
    bool stop_ = false;
    bool filterInstalled_ = false;
    bool endCheckPosted_ = false;
    int depth_ = 0;
    int baseLevel_ = 0;
    int exchanges_ = 0;
    QElapsedTimer elapsed_;
    QElapsedTimer sincePumped_;
    QEventLoop* loop_ = nullptr;
    QList<QPointer<QWidget>> closeLater_;
};

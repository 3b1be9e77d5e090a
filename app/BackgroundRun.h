// A computation of the window on a thread of its own, so that the window goes on answering
// while it runs. The thread owns the run's floating-point state: nothing the window does
// (a message box, a repaint) can leave a flag that the run would read as its own fault.
//
// What the run tells its control arrives here:
// - messages (RunControl::show) are shown by the window's sink on the window's thread, one at
//   a time and in their order; the run waits until the box is answered, as it would on the
//   window's own thread;
// - progress is kept in atomics for the window to poll (the run may report thousands of
//   times a second; a timer reads the latest);
// - cancel() asks the run to stop at its next chance (safe from any thread); the run then
//   ends with Cancelled and its files are left as they were.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>
#include <QString>

#include "base/RunControl.h"

class QThread;

namespace orvane {

class MessageSink;

class BackgroundRun : public QObject {
    Q_OBJECT

public:
    // The run's stack, as large as the one the window's thread was given for its runs.
    static constexpr unsigned kStackBytes = 64u << 20;

    struct Progress {
        bool known = false;  // nothing reported yet
        RunStage stage = RunStage::Tracing;
        int done = 0, total = 1;
    };

    // sink: where the run's messages are shown, on the thread that owns this object.
    explicit BackgroundRun(MessageSink* sink, QObject* parent = nullptr);
    // Asks a running computation to stop and waits for it; a message it waits on is dropped.
    ~BackgroundRun() override;

    void setSink(MessageSink* sink) { sink_ = sink; }

    // Starts work on a new thread. False (and nothing started) while a run is going on.
    bool start(std::function<void(RunControl&)> work);
    bool running() const { return thread_ != nullptr; }

    void cancel() { cancel_.store(true); }
    bool cancelRequested() const { return cancel_.load(); }
    Progress progress() const;

    // Blocks until the running computation has ended (no event loop meanwhile: messages it
    // raises are dropped). For shutting down.
    void abandon();

signals:
    // On the owner's thread, once the thread has ended. error: empty when the work succeeded;
    // cancelled: the work ended because it was asked to.
    void finished(const QString& error, bool cancelled);

private:
    class Control;
    void showOnOwnerThread(const std::string& text);
    void onThreadFinished();

    MessageSink* sink_;
    std::unique_ptr<Control> control_;
    QThread* thread_ = nullptr;
    std::atomic<bool> cancel_{false};
    std::atomic<int> stage_{-1};
    std::atomic<int> done_{0};
    std::atomic<int> total_{1};

    // A message waiting on the owner's thread, and whether the run still waits for it.
    std::mutex mutex_;
    std::condition_variable answered_;
    unsigned long long asked_ = 0, answers_ = 0;
    bool abandoned_ = false;

    // Written by the thread before it ends, read after.
    QString error_;
    bool cancelled_ = false;
};

} // namespace orvane

#include "app/BackgroundRun.h"

#include <exception>

#include <QMetaObject>
#include <QThread>

#include "base/MessageSink.h"

namespace orvane {

class BackgroundRun::Control final : public RunControl {
public:
    explicit Control(BackgroundRun& owner) : owner_(owner) {}
    void display(const std::string& text) override { owner_.showOnOwnerThread(text); }
    void progress(RunStage stage, int done, int total) override
    {
        owner_.done_.store(done, std::memory_order_relaxed);
        owner_.total_.store(total > 0 ? total : 1, std::memory_order_relaxed);
        owner_.stage_.store(static_cast<int>(stage), std::memory_order_release);
    }
    bool cancelRequested() const override { return owner_.cancel_.load(); }

private:
    BackgroundRun& owner_;
};

BackgroundRun::BackgroundRun(MessageSink* sink, QObject* parent)
    : QObject(parent), sink_(sink), control_(std::make_unique<Control>(*this))
{
}

BackgroundRun::~BackgroundRun() { abandon(); }

void BackgroundRun::abandon()
{
    if (thread_ == nullptr)
        return;
    cancel_.store(true);
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    answered_.notify_all();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

bool BackgroundRun::start(std::function<void(RunControl&)> work)
{
    if (thread_ != nullptr)
        return false;
    cancel_.store(false);
    stage_.store(-1);
    done_.store(0);
    total_.store(1);
    error_.clear();
    cancelled_ = false;
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = false;
    }

    thread_ = QThread::create([this, work = std::move(work)] {
        try {
            work(*control_);
        } catch (const Cancelled& e) {
            cancelled_ = true;
            error_ = QString::fromStdString(e.what());
        } catch (const std::exception& e) {
            error_ = QString::fromStdString(e.what());
        } catch (...) {
            error_ = QStringLiteral("Unknown error.");
        }
    });
    thread_->setStackSize(kStackBytes);
    // Emitted by the ending thread, delivered on ours.
    connect(thread_, &QThread::finished, this, &BackgroundRun::onThreadFinished, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void BackgroundRun::onThreadFinished()
{
    if (thread_ == nullptr)
        return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    emit finished(error_, cancelled_);
}

BackgroundRun::Progress BackgroundRun::progress() const
{
    Progress p;
    const int stage = stage_.load(std::memory_order_acquire);
    if (stage < 0)
        return p;
    p.known = true;
    p.stage = static_cast<RunStage>(stage);
    p.done = done_.load(std::memory_order_relaxed);
    p.total = total_.load(std::memory_order_relaxed);
    return p;
}

void BackgroundRun::showOnOwnerThread(const std::string& text)
{
    if (QThread::currentThread() == thread()) {
        if (sink_ != nullptr)
            sink_->show(text);
        return;
    }
    unsigned long long ticket = 0;
    {
        const std::lock_guard lock(mutex_);
        if (abandoned_)
            return;
        ticket = ++asked_;
    }
    // Delivered through our own event queue, so that it is dropped with this object; the
    // box's own event loop runs on the owner's thread while this one waits.
    QMetaObject::invokeMethod(
        this,
        [this, text, ticket] {
            if (sink_ != nullptr)
                sink_->show(text);
            {
                const std::lock_guard lock(mutex_);
                answers_ = ticket;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return answers_ >= ticket || abandoned_; });
}

} // namespace orvane

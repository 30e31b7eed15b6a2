#include "app/JobQueue.h"

#include <chrono>
#include <utility>

#include <QTimer>

#include "base/Log.h"
#include "instrument/InstrumentStop.h"

namespace kestrava {
namespace {

// A stopped job that has not ended by then is waiting for the instrument's answer.
constexpr int kInterruptAfterMs = 400;

}  // namespace

JobQueue::JobQueue(QObject* parent) : QObject(parent), thread_([this] { Serve(); }) {}

JobQueue::~JobQueue() {
    Stop();
    WaitForWorker();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void JobQueue::Post(const QString& label, Work work, Done done) {
    ++undelivered_;
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back({label, std::move(work), std::move(done)});
    }
    changed_.notify_all();
}

QString JobQueue::Label() const {
    std::lock_guard lock(mutex_);
    return label_;
}

void JobQueue::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !waiting_.empty(); });
        if (quit_) return;
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        stop_ = false;
        RequestInstrumentStop(false);
        label_ = job.label;
        const unsigned serial = ++serial_;
        lock.unlock();
        QMetaObject::invokeMethod(
            this,
            [this, serial, label = job.label] {
                bool current;
                {
                    std::lock_guard guard(mutex_);
                    current = busy_ && serial_ == serial;
                }
                if (current) emit started(label);
            },
            Qt::QueuedConnection);
        try {
            if (job.work) job.work();
        } catch (...) {
            // The work guards itself; a throw here must not end the program.
            WriteLog("JobQueue", "work ended by an exception", kLogError);
        }
        lock.lock();
        busy_ = false;
        ended_.push_back({std::move(job.done), stop_.load()});
        changed_.notify_all();
        QMetaObject::invokeMethod(this, &JobQueue::Deliver, Qt::QueuedConnection);
    }
}

bool JobQueue::Working() const {
    std::lock_guard lock(mutex_);
    return busy_ || !waiting_.empty();
}

bool JobQueue::Stop() {
    unsigned serial;
    {
        std::lock_guard lock(mutex_);
        if (!busy_ && waiting_.empty()) return false;
        for (Job& job : waiting_) ended_.push_back({std::move(job.done), true});
        waiting_.clear();
        if (busy_) {
            stop_ = true;
            RequestInstrumentStop(true);
        }
        serial = serial_;
    }
    QTimer::singleShot(kInterruptAfterMs, this,
                       [this, serial] { InterruptIfStillRunning(serial); });
    QMetaObject::invokeMethod(this, &JobQueue::Deliver, Qt::QueuedConnection);
    return true;
}

void JobQueue::InterruptIfStillRunning(unsigned serial) {
    std::lock_guard lock(mutex_);
    if (busy_ && stop_ && serial_ == serial) InterruptInstrumentIo();
}

void JobQueue::WaitForWorker() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    Clock::time_point stoppedAt{};
    bool interrupted = false;
    while (busy_ || !waiting_.empty()) {
        changed_.wait_for(lock, std::chrono::milliseconds(20));
        if (!busy_ || !stop_ || interrupted) continue;
        if (stoppedAt == Clock::time_point{}) stoppedAt = Clock::now();
        if (Clock::now() - stoppedAt >= std::chrono::milliseconds(kInterruptAfterMs)) {
            InterruptInstrumentIo();
            interrupted = true;
        }
    }
}

void JobQueue::Wait() {
    while (Running()) {
        WaitForWorker();
        Deliver();
    }
}

void JobQueue::Deliver() {
    bool delivered = false;
    for (;;) {
        Ended ended;
        {
            std::lock_guard lock(mutex_);
            if (ended_.empty()) break;
            ended = std::move(ended_.front());
            ended_.pop_front();
        }
        --undelivered_;
        delivered = true;
        if (ended.done) ended.done(ended.stopped);
    }
    if (delivered && undelivered_ == 0) emit idle();
}

}  // namespace kestrava

// The window's work away from its thread: instrument commands, acquisitions and decodes
// run one at a time, in the order they were asked for, on one worker thread, so the window
// keeps painting and answering. Each job's end is delivered on the window's thread, in the
// same order; idle follows the last one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <QObject>
#include <QString>

namespace kestrava {

class JobQueue : public QObject {
    Q_OBJECT
  public:
    using Work = std::function<void()>;
    using Done = std::function<void(bool stopped)>;

    explicit JobQueue(QObject* parent = nullptr);
    // Stops the running job and waits for it; no end is delivered.
    ~JobQueue() override;
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // label says what the job does, for the status line.
    void Post(const QString& label, Work work, Done done = {});
    // From the first job posted until the last one's end is delivered.
    bool Running() const { return undelivered_ > 0; }
    // The worker runs a job or has one waiting.
    bool Working() const;
    // Asks the running job to end, at its next check (and the instrument's, see
    // InstrumentStop.h); a job still waiting for an answer after a short while has its
    // session closed. Jobs not yet started are dropped and delivered as stopped. False
    // when there was nothing to stop.
    bool Stop();
    bool Stopping() const { return stop_; }
    // Waits for every job and delivers their ends now.
    void Wait();
    QString Label() const;

  signals:
    void started(const QString& label);
    void idle();

  private:
    struct Job {
        QString label;
        Work work;
        Done done;
    };
    struct Ended {
        Done done;
        bool stopped;
    };

    void Serve();
    void Deliver();
    // Waits until the worker has nothing to do; cuts a stopped job's wait short.
    void WaitForWorker();
    void InterruptIfStillRunning(unsigned serial);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    std::deque<Ended> ended_;
    QString label_;
    bool busy_ = false;
    bool quit_ = false;
    unsigned serial_ = 0;
    std::atomic<bool> stop_{false};
    int undelivered_ = 0;  // the window's thread only
    std::thread thread_;
};

}  // namespace kestrava

// One decode at a time on a worker thread, so the window keeps answering while it runs.
// The work asks Stopping() between its stages; the window hears of the end through
// finished, on its own thread.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <QObject>

namespace kestrava {

class DecodeJob : public QObject {
    Q_OBJECT
  public:
    explicit DecodeJob(QObject* parent = nullptr);
    // Stops a running job and waits for it; its end is not delivered.
    ~DecodeJob() override;
    DecodeJob(const DecodeJob&) = delete;
    DecodeJob& operator=(const DecodeJob&) = delete;

    // Runs work on a worker thread; false while another job runs.
    bool Start(std::function<void()> work);
    // From start until finished is delivered.
    bool Running() const { return thread_.joinable(); }
    // Asks the work to end at its next stage boundary.
    void Stop() { stop_ = true; }
    bool Stopping() const { return stop_; }
    // Waits for the work to end and delivers finished now.
    void Wait();

  signals:
    void finished(bool stopped);

  private:
    void Deliver(unsigned generation);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    unsigned generation_ = 0;
};

}  // namespace kestrava

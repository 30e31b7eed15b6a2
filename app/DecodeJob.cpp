#include "app/DecodeJob.h"

#include <utility>

#include "base/Log.h"

namespace kestrava {

DecodeJob::DecodeJob(QObject* parent) : QObject(parent) {}

DecodeJob::~DecodeJob() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

bool DecodeJob::Start(std::function<void()> work) {
    if (Running()) return false;
    stop_ = false;
    const unsigned generation = ++generation_;
    thread_ = std::thread([this, generation, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // The stages guard themselves; a throw here must not end the program.
            WriteLog("DecodeJob", "work ended by an exception", kLogError);
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { Deliver(generation); }, Qt::QueuedConnection);
    });
    return true;
}

void DecodeJob::Wait() {
    Deliver(generation_);
}

// A job waited for is delivered at once; its queued delivery then finds nothing to do.
void DecodeJob::Deliver(unsigned generation) {
    if (generation != generation_ || !thread_.joinable()) return;
    thread_.join();
    emit finished(stop_);
}

}  // namespace kestrava

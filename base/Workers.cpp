#include "base/Workers.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrava {
namespace {

// Large enough that a block's fixed costs vanish, small enough that two workers share
// a 100 M-sample record evenly.
constexpr std::size_t kDefaultBlockSamples = std::size_t{1} << 22;

std::atomic<int> chosenCount{0};
std::atomic<std::size_t> chosenBlock{0};

}  // namespace

int Workers::Available() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int Workers::Count() {
    const int chosen = chosenCount.load(std::memory_order_relaxed);
    return chosen >= 1 ? chosen : Available();
}

void Workers::SetCount(int n) {
    chosenCount.store(std::max(n, 0), std::memory_order_relaxed);
}

std::size_t Workers::BlockSamples() {
    const std::size_t chosen = chosenBlock.load(std::memory_order_relaxed);
    return chosen > 0 ? chosen : kDefaultBlockSamples;
}

void Workers::SetBlockSamples(std::size_t samples) {
    chosenBlock.store(samples, std::memory_order_relaxed);
}

void Workers::ForEach(std::size_t tasks, const std::function<void(std::size_t)>& task) {
    const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(Count()), tasks);
    if (threads <= 1) {
        for (std::size_t k = 0; k < tasks; ++k) task(k);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < tasks;) {
            try {
                task(k);
            } catch (...) {
                std::lock_guard lock(failureLock);
                if (!failure) failure = std::current_exception();
                next.store(tasks);  // the rest is not worth doing
            }
        }
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(threads - 1);
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    helpers.clear();  // joins
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrava

#include "bench/HeapCounter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> peakBytes{0};

void Count(std::int64_t bytes) {
    std::int64_t now = liveBytes.fetch_add(bytes) + bytes;
    std::int64_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

void* Allocate(std::size_t size) {
    // A size header in front of each block, so delete knows what it frees.
    auto* block = static_cast<std::max_align_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    Count(static_cast<std::int64_t>(size));
    return block + 1;
}

void Release(void* pointer) noexcept {
    if (!pointer) return;
    auto* block = static_cast<std::max_align_t*>(pointer) - 1;
    Count(-static_cast<std::int64_t>(*reinterpret_cast<std::size_t*>(block)));
    std::free(block);
}

}  // namespace

namespace kestrava::bench {

std::int64_t HeapLiveBytes() {
    return liveBytes.load();
}
std::int64_t HeapPeakBytes() {
    return peakBytes.load();
}
std::int64_t StartHeapPeak() {
    std::int64_t now = liveBytes.load();
    peakBytes.store(now);
    return now;
}

}  // namespace kestrava::bench

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    Release(pointer);
}

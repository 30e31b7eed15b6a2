// Heap accounting for the benchmarks' peak-memory figures: linking this replaces the
// global operator new and delete with counting versions.
#pragma once

#include <cstdint>

namespace kestrava::bench {

// Bytes allocated and not yet freed.
std::int64_t HeapLiveBytes();
// The highest live count since the last StartHeapPeak.
std::int64_t HeapPeakBytes();
// Starts a new peak at the current live count and returns that count.
std::int64_t StartHeapPeak();

}  // namespace kestrava::bench

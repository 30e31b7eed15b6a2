#include "synth/RecordSamples.h"

#include <algorithm>
#include <vector>

namespace kestrava::synth {
namespace {

template <typename T>
void CopyRun(const std::vector<T>& from, std::size_t first, std::size_t count, std::vector<T>& to) {
    const auto begin = from.begin() + static_cast<std::ptrdiff_t>(first);
    to.assign(begin, begin + static_cast<std::ptrdiff_t>(count));
}

}  // namespace

RecordShape RecordSamples::Shape() const {
    return {record_.format, record_.scaleV, record_.offsetV, record_.Size()};
}

bool RecordSamples::Next(QuantizedRecord& block) {
    const std::size_t count = std::min(kBlockSamples, record_.Size() - next_);
    if (count == 0) return false;
    block.format = record_.format;
    block.scaleV = record_.scaleV;
    block.offsetV = record_.offsetV;
    switch (record_.format) {
        case SampleFormat::Int8:
            CopyRun(record_.int8, next_, count, block.int8);
            break;
        case SampleFormat::Int16:
            CopyRun(record_.int16, next_, count, block.int16);
            break;
        case SampleFormat::Float32:
            CopyRun(record_.float32, next_, count, block.float32);
            break;
    }
    next_ += count;
    return true;
}

}  // namespace kestrava::synth

// A record already in memory, handed to a writer a block at a time.
#pragma once

#include <cstddef>

#include "synth/SampleStream.h"

namespace kestrava::synth {

class RecordSamples : public SampleStream {
  public:
    // record must outlive the stream.
    explicit RecordSamples(const QuantizedRecord& record) : record_(record) {}

    RecordShape Shape() const override;
    bool Next(QuantizedRecord& block) override;

    static constexpr std::size_t kBlockSamples = 1 << 20;

  private:
    const QuantizedRecord& record_;
    std::size_t next_ = 0;
};

}  // namespace kestrava::synth

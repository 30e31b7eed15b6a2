// Reader of ".trc" waveform files laid out by the LECROY_2_3 template: a WAVEDESC
// block (either byte order, after an optional "#9nnnnnnnnn" block prefix), then the
// user text, trigger-time and RIS arrays, and the 8- or 16-bit samples, whose volts are
// gain * sample - offset. Of a sequence record only the first segment is read.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "formats/BinaryRecordReader.h"

namespace kestrava {

class TrcReader final : public BinaryRecordReader {
  public:
    static constexpr std::string_view kExtension = ".trc";
    static constexpr std::size_t kSignatureSize = 64;
    static constexpr std::size_t kDescriptorSize = 346;
    static bool Recognizes(std::span<const unsigned char> head);

    // Where the WAVEDESC block starts: 0, or past a "#N" block prefix; -1 when the head
    // holds no such block.
    static long DescriptorStart(std::span<const unsigned char> head);

  private:
    std::string Parse(const FileView& file, Layout& layout) override;
};

}  // namespace kestrava

// Reader of ".bin" waveform files that start with the "AG" cookie: a file header, then
// per waveform a waveform header and its buffers, each behind a data header. Reads the
// first analog waveform, or the one ImportOptions::waveform names, from its first
// normal, maximum or minimum buffer: 32-bit float volts, or 8- and 16-bit samples, which
// the file gives no gain for and which are taken as they are.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "formats/BinaryRecordReader.h"

namespace kestrava {

class AgBinReader final : public BinaryRecordReader {
  public:
    static constexpr std::string_view kExtension = ".bin";
    static constexpr std::size_t kSignatureSize = 4;
    static constexpr std::size_t kFileHeaderSize = 12;
    static constexpr std::size_t kWaveformHeaderSize = 140;
    static constexpr std::size_t kDataHeaderSize = 12;
    static bool Recognizes(std::span<const unsigned char> head);

  private:
    std::string Parse(const FileView& file, Layout& layout) override;
};

}  // namespace kestrava

// Reader of headerless sample files: nothing in the file says what it holds, so the
// reader takes any file once ImportOptions give a raw sample format (8-bit, 16-bit or
// 32-bit float, in either byte order), with the interval, scale and offset given beside.
// A ".raw" file without them is refused with what to give.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "formats/BinaryRecordReader.h"

namespace kestrava {

class RawReader final : public BinaryRecordReader {
  public:
    static constexpr std::string_view kExtension = ".raw";
    static constexpr std::size_t kSignatureSize = 0;
    // Every file when a raw import is asked for: the user's word beats the content.
    static bool Recognizes(std::span<const unsigned char> head);

  private:
    std::string Parse(const FileView& file, Layout& layout) override;
};

}  // namespace kestrava

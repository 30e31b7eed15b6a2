// The waveform file formats the program reads. A file goes to the first format whose
// signature its leading bytes carry; only a file that none recognises is given to a
// format by its extension, whose reader then judges it as it would any other file.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/WaveformFileReader.h"

namespace kestrava {

// One format: how its files are told apart and how a reader is made for one.
struct WaveformFormat {
    std::string_view extension;  // with its dot; matched without regard to case
    std::size_t signatureSize;   // leading bytes that recognizes looks at
    bool (*recognizes)(std::span<const unsigned char> head);
    std::unique_ptr<WaveformFileReader> (*makeReader)();

    // The entry of a reader class with kExtension, kSignatureSize and Recognizes.
    template <class Reader>
    static WaveformFormat Of() {
        return {Reader::kExtension, Reader::kSignatureSize, &Reader::Recognizes,
                []() -> std::unique_ptr<WaveformFileReader> { return std::make_unique<Reader>(); }};
    }
};

class FormatRegistry {
  public:
    void Register(const WaveformFormat& format) { formats_.push_back(format); }
    // The format of a file: by its leading bytes, else by its name; null when neither
    // picks one.
    const WaveformFormat* FormatOf(const std::string& path) const;
    // A new reader for the file's format; null when no format takes the file.
    std::unique_ptr<WaveformFileReader> ReaderFor(const std::string& path) const;

  private:
    std::vector<WaveformFormat> formats_;
};

// The program's registry, holding every reader of formats/.
const FormatRegistry& TheFormatRegistry();

}  // namespace kestrava

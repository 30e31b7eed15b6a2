#include "formats/FormatRegistry.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "base/RegularFile.h"
#include "formats/AgBinReader.h"
#include "formats/CQelWfmReader.h"
#include "formats/CsvReader.h"
#include "formats/ImportReport.h"
#include "formats/RawReader.h"
#include "formats/TrcReader.h"

namespace kestrava {
namespace {

// Up to size bytes from the start of an open file.
std::vector<unsigned char> ReadHead(int fd, std::size_t size) {
    std::vector<unsigned char> head(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, head.data() + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    head.resize(done);
    return head;
}

// Up to size leading bytes of a regular file; none of anything else.
std::vector<unsigned char> LeadingBytes(const std::string& path, std::size_t size) {
    RegularFile file(path);
    return file.IsOpen() ? ReadHead(file.Fd(), size) : std::vector<unsigned char>{};
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    if (end.empty() || end.size() > text.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

const WaveformFormat* FormatRegistry::FormatOf(const std::string& path) const {
    std::size_t signature = 0;
    for (const WaveformFormat& format : formats_)
        signature = std::max(signature, format.signatureSize);
    const std::vector<unsigned char> head = LeadingBytes(path, signature);
    for (const WaveformFormat& format : formats_)
        if (format.recognizes(head)) return &format;
    for (const WaveformFormat& format : formats_)
        if (EndsWithIgnoringCase(path, format.extension)) return &format;
    return nullptr;
}

std::unique_ptr<WaveformFileReader> FormatRegistry::ReaderFor(const std::string& path) const {
    // A reason left by an earlier import is no reason for this one.
    ImportReport::Clear();
    const WaveformFormat* format = FormatOf(path);
    if (format) return format->makeReader();
    if (const RegularFile file(path); !file.IsOpen())
        ImportReport::Refuse(path, file.Reason());
    else
        ImportReport::Refuse(path, "not a waveform file of a format this program reads");
    return nullptr;
}

const FormatRegistry& TheFormatRegistry() {
    static const FormatRegistry registry = [] {
        FormatRegistry formats;
        // One line per reader; a file is offered to them in this order. Bare samples
        // come first: only the user's word picks them, and it beats any content.
        formats.Register(WaveformFormat::Of<RawReader>());
        formats.Register(WaveformFormat::Of<CQelWfmReader>());
        formats.Register(WaveformFormat::Of<TrcReader>());
        formats.Register(WaveformFormat::Of<AgBinReader>());
        formats.Register(WaveformFormat::Of<CsvReader>());
        return formats;
    }();
    return registry;
}

}  // namespace kestrava

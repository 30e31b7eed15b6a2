// What the readers of binary sample files (.trc, .bin, headerless raw) share: a reader
// parses its headers into a layout; this class holds the layout against the file before
// anything is allocated for it, refuses the lies a header can tell with a reason, and
// converts the samples to volts in bounded chunks, kept or streamed to a sink.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "formats/WaveformFileReader.h"

namespace kestrava {

class BinaryRecordReader : public WaveformFileReader {
  public:
    bool Import(const std::string& path, RecordSink* sink) final;
    const RecordDescription& Description() const final { return description_; }
    std::span<const double> Points() const final {
        return {points_.get(), points_ ? static_cast<std::size_t>(description_.count) : 0};
    }

  protected:
    // The open file while its headers are parsed.
    class FileView {
      public:
        FileView(int fd, std::int64_t size) : fd_(fd), size_(size) {}
        std::int64_t Size() const { return size_; }
        // Up to size bytes at offset: fewer at the end of the file, none past it.
        std::vector<unsigned char> Read(std::int64_t offset, std::size_t size) const;

      private:
        int fd_;
        std::int64_t size_;
    };

    // Where the record's samples lie and how they become volts. Only Int8, Int16 and
    // Float samples are converted.
    struct Layout {
        RecordDescription record;
        std::int64_t dataOffset = 0;
        std::string note;  // what the import leaves out, said after a success
    };

    // Fills the layout from the file's headers; the reason of a refusal, empty when the
    // layout is made. The layout's counts and numbers are checked afterwards.
    virtual std::string Parse(const FileView& file, Layout& layout) = 0;

  private:
    static std::string Check(const Layout& layout, std::int64_t fileSize);
    bool Convert(int fd, const Layout& layout, RecordSink* sink);

    RecordDescription description_;
    std::unique_ptr<double[]> points_;
};

}  // namespace kestrava

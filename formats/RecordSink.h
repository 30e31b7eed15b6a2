// The receiving end of a streamed import: takes a record's points block by block, in
// file order, instead of the reader keeping them, so a caller that needs each point once
// never holds the whole record as doubles.
#pragma once

#include <memory>
#include <span>

#include "base/MappedFile.h"

#include "formats/RecordDescription.h"

namespace kestrava {

class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // The record, before any block; false refuses it.
    virtual bool Begin(const RecordDescription& record) = 0;
    // Asked after Begin: false when the sink reads only the raw bytes, which spares the
    // conversion to volts; its blocks then come with no points.
    virtual bool WantsVolts() const { return true; }
    // Asked after Begin: true when the sink would keep the stored samples where the file
    // holds them. A reader that can map them then hands them over whole, once, instead of
    // in blocks; one that cannot goes on with blocks.
    virtual bool WantsMapping() const { return false; }
    virtual void TakeMapped(std::shared_ptr<const MappedFile>) {}
    // The next points, in volts and as the file stores them (sampleSize bytes each, in
    // the file's byte order); every block but the last holds a multiple of 16 points.
    virtual void Take(std::span<const double> points, std::span<const unsigned char> raw) = 0;
};

}  // namespace kestrava

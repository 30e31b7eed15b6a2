// A generated capture written to a waveform file and decoded through the presentation
// core, with the decoded primitives, frames and ATAPI commands put beside the manifest's.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/ListBox.h"
#include "session/CSataUserInterface.h"
#include "synth/CaptureGenerator.h"

namespace kestrava::test {

// A list line or a manifest entry placed on the record: sample index (0-based) and text.
struct Placed {
    long sample = 0;
    std::string text;
    bool operator==(const Placed&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Placed& p) {
    return out << p.sample << " \"" << p.text << "\"";
}

class DecodedCapture {
  public:
    // Generates the capture, writes it to folder/name.wfm and decodes it; invertOption
    // is the decoder's Source menu invert flag.
    DecodedCapture(const synth::CaptureOptions& options, const std::string& folder,
                   const std::string& name, bool invertOption = false);

    const synth::Capture& Sent() const { return capture_; }
    const synth::Manifest& Manifest() const { return capture_.manifest; }
    CSataUserInterface& Ui() { return *ui_; }
    const MemoryListBox& MainList() const { return mainList_; }
    const std::string& Path() const { return path_; }
    bool Valid() const;
    // Largest distance in samples at which a decoded position still counts as the sent one.
    long Tolerance() const;

    // The 0-based sample of the first bit of a word (decoder positions are 1-based).
    long WordSample(int word) const;
    // The word whose first bit lies within Tolerance() of a sample, -1 when none.
    int WordAt(long sample) const;

    std::vector<Placed> DecodedPrimitives();
    // The manifest's primitives that lie wholly between the first and the last decoded
    // word: the bits before the first edge and after the last one are not recovered.
    std::vector<Placed> SentPrimitives() const;
    // The protocol list with FIS or ATAPI lines; each line placed at its word.
    std::vector<Placed> FisLines();
    std::vector<Placed> AtapiLines();
    // The characters-list lines with their item data (1-based sample positions).
    std::vector<Placed> MainLines() const;

  private:
    std::vector<Placed> HighLevel(int kind);

    synth::Capture capture_;
    std::string path_;
    MemoryListBox mainList_, highLevelList_;
    std::unique_ptr<CSataUserInterface> ui_;
};

// "FIS 0x27 Register H->D" and the field lines the decoder shows for a frame, made from the
// frame's sent dwords: the header, then for Data frames the payload dwords and the CRC, for
// register frames the command or status byte and the CRC.
std::vector<std::string> ExpectedFisLines(const synth::Manifest::Frame& frame);

}  // namespace kestrava::test

// The characters list: every decoded word on its line with its value, the primitive or
// data word that starts there and its errors, with silences and alignment shifts between.
#pragma once

#include <string>

#include "base/ListBox.h"

namespace kestrava {

class CAnalysisHost;
class CMacros;
class CSataBitDetector;
class CSataPrimDecoder;
class CSataWordDecoder;

class MixedList {
  public:
    MixedList(const CSataBitDetector& bits, const CSataWordDecoder& words,
              const CSataPrimDecoder& prims, const CMacros* macros, CAnalysisHost& host);

    // Replaces the list's lines, then reports the two error counts and ends the analysis
    // in the status box.
    void Fill(IListBox& list);

  private:
    void AddSilence(IListBox& list, int word, int lengthSamples);
    void AddShift(IListBox& list, int word);
    std::string WordLine(int word);
    void AppendValue(std::string& line, int value) const;
    ItemData Position(int word) const;

    const CSataWordDecoder& words_;
    const CSataPrimDecoder& prims_;
    const CMacros* macros_;
    CAnalysisHost& host_;
    unsigned samplesPerBit_;
    bool showDataWords_;
    std::size_t primitiveCursor_ = 0;
    std::size_t dataWordCursor_ = 0;
    int wrongDisparityCount_ = 0;
    int runningDisparityCount_ = 0;
};

}  // namespace kestrava

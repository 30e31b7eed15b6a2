#include "session/MixedList.h"

#include <cstdio>
#include <string_view>

#include "base/CAnalysisHost.h"
#include "base/HexText.h"
#include "base/Numbers.h"
#include "definition/CMacros.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

// Data words are shown for standards whose trigger name begins with "SATA".
bool ShowsDataWords(const CMacros* macros) {
    std::string_view standard = macros ? std::string_view(macros->triggerStandard) : "";
    return std::string_view("SATA").find(standard.substr(0, 4)) == 0;
}

template <class... Args>
std::string Format(const char* format, Args... args) {
    char text[128];
    FormatInto(text, sizeof text, format, args...);
    return text;
}

}  // namespace

MixedList::MixedList(const CSataBitDetector& bits, const CSataWordDecoder& words,
                     const CSataPrimDecoder& prims, const CMacros* macros, CAnalysisHost& host)
    : words_(words),
      prims_(prims),
      macros_(macros),
      host_(host),
      samplesPerBit_(static_cast<unsigned>(bits.Bits().samplesPerBit)),
      showDataWords_(ShowsDataWords(macros)) {}

ItemData MixedList::Position(int word) const {
    return words_.StartPositions()[static_cast<std::size_t>(word)];
}

void MixedList::Fill(IListBox& list) {
    host_.ClearBox(list);
    const auto& silences = prims_.Silences();
    const auto& shifts = words_.AlignmentShifts();
    std::size_t silenceCursor = 0;
    for (int w = 0; w < words_.WordCount(); ++w) {
        if (silenceCursor < silences.size() && silences[silenceCursor].wordIndex == w) {
            AddSilence(list, w, silences[silenceCursor].lengthSamples);
            ++silenceCursor;
        } else if (shifts[static_cast<std::size_t>(w)] > 0 && w > 0) {
            AddShift(list, w);
        }
        std::string line = WordLine(w);
        if (!line.empty()) host_.AddLine(list, line, Position(w));
    }
    host_.DisplayMessage(Format("RD Errors: %i", wrongDisparityCount_), kShowAndKeep);
    host_.DisplayMessage(Format("Invalid Characters: %i", runningDisparityCount_), kShowAndKeep);
    host_.DisplayMessage("-----  DONE  -----", kShowSummary);
}

// A silence before the very first word has no previous word; it is tagged with the first
// word's own position.
void MixedList::AddSilence(IListBox& list, int word, int lengthSamples) {
    double nanoseconds = samplesPerBit_ ? lengthSamples * 0.66 / samplesPerBit_ : 0.0;
    ItemData tag =
        word > 0 ? Position(word - 1) + static_cast<ItemData>(10 * samplesPerBit_) : Position(word);
    host_.AddLine(list, "", tag);
    host_.AddLine(list, Format("---Silence ( %1.2f nS )---", nanoseconds), tag);
    host_.AddLine(list, "", tag);
}

void MixedList::AddShift(IListBox& list, int word) {
    int shift = words_.AlignmentShifts()[static_cast<std::size_t>(word)];
    std::string text = shift <= 5 ? Format("---Got %i extra samples---", shift)
                                  : Format("---Missed %i samples---", 10 - shift);
    host_.AddLine(list, text, Position(word));
}

void MixedList::AppendValue(std::string& line, int value) const {
    if (value < 256) {
        // A negative value prints as "%x" shows it: its 32-bit pattern.
        line += "(0x";
        AppendHex(line, static_cast<unsigned>(value));
        line += ") ";
        return;
    }
    if (macros_) {
        for (const auto& [name, entryValue] : macros_->singleWordTable) {
            if (entryValue == value) {
                line += "(" + name + ")";
                return;
            }
        }
    }
    line += "(-------)  ";
}

std::string MixedList::WordLine(int w) {
    int row = words_.TableRows()[static_cast<std::size_t>(w)];
    if (row == -1) return "Invalid Code";
    if (row < 0) return "";
    std::string line = words_.GetWordName(w) + "  ";
    AppendValue(line, words_.GetWordValue(w));

    const auto& primitives = prims_.FoundPrimitives();
    if (primitiveCursor_ < primitives.size() && primitives[primitiveCursor_].wordIndex == w) {
        std::string name = prims_.GetPrimitive(static_cast<int>(primitiveCursor_));
        // With several single-word primitives, one that is also a table entry is shown
        // in parentheses, as its character is.
        bool isEntry = false;
        if (macros_ && macros_->singleWordTable.size() > 1)
            for (const auto& entry : macros_->singleWordTable)
                isEntry = isEntry || entry.first == name;
        line += isEntry ? "          (" + name + ") " : "          " + name + " ";
        ++primitiveCursor_;
    }
    const auto& dataWords = prims_.DataWords();
    if (showDataWords_ && dataWordCursor_ < dataWords.size() &&
        dataWords[dataWordCursor_].wordIndex == w) {
        line += Format("        DATA 0x%08X", dataWords[dataWordCursor_].value);
        ++dataWordCursor_;
    }
    if (words_.CheckRD(w)) {
        line += "   [rd error]";
        ++runningDisparityCount_;
    }
    if (macros_ && row >= macros_->rdErrorFirstRow && row <= macros_->rdErrorLastRow) {
        line += "  [mw rd error]";
        ++wrongDisparityCount_;
    }
    return line;
}

}  // namespace kestrava

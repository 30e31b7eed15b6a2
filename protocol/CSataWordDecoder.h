// Turns a recovered bit stream into 10-bit transmission characters matched against the
// code table, finding the character boundaries either by a user sync pattern (one
// alignment for the whole capture) or by re-scoring the ten alignments before every
// character (follows slips of the bit recovery). All the work is done by the constructor.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "signal/BitStream.h"
#include "signal/SampleArrayAllocator.h"

namespace kestrava {

class CAnalysisHost;
class CMacros;

class CSataWordDecoder {
  public:
    CSataWordDecoder(const BitStream& bits, CAnalysisHost* host);
    ~CSataWordDecoder();
    CSataWordDecoder(const CSataWordDecoder&) = delete;
    CSataWordDecoder& operator=(const CSataWordDecoder&) = delete;

    // False when there were no bits to decode (the lists were never set up).
    bool Decoded() const { return decoded_; }
    // The decoded word list; word w is entry w of each array.
    int WordCount() const { return static_cast<int>(tableRows_.size()); }
    // Code-table row of each word, -1 for a code not in the table.
    const std::vector<std::int16_t>& TableRows() const { return tableRows_; }
    // Disparity column (1 RD-, 0 RD+) the word after each word should have.
    const std::vector<std::int8_t>& ExpectedDisparities() const { return expectedDisparity_; }
    // Sample positions of each word's first and tenth bit.
    const std::vector<std::int32_t>& StartPositions() const { return startPositions_; }
    const std::vector<std::int32_t>& EndPositions() const { return endPositions_; }
    // Bits (0 to 9) skipped before each word; 0 when it follows the previous one directly.
    const std::vector<std::int16_t>& AlignmentShifts() const { return alignmentShifts_; }

    // 0 for a negative index or an invalid code, else the character value of its row
    // (below 256 data, 256 and up control).
    int GetWordValue(int word) const;
    // Empty for a negative index, "Invalid Code" for an invalid code, else the name.
    std::string GetWordName(int word) const;
    // 1 when the word's disparity column contradicts the previous word's expectation.
    int CheckRD(int word) const;

    void GenerateTables() {}

  private:
    // The bit stream as the decoding loops read it: the 10-bit code starting at every bit,
    // and where windows touch a gap.
    struct Stream {
        const BitStream* bits = nullptr;
        std::int32_t bitCount = 0;
        std::vector<std::uint16_t, SampleArrayAllocator<std::uint16_t>> codes;
        std::vector<std::uint16_t, SampleArrayAllocator<std::uint16_t>> steps;  // of each code
        std::vector<std::int32_t> gapPrefix;  // empty when the stream has no gap bits
    };
    static constexpr int kOffsets = 10;
    using OffsetScores = std::array<int, kOffsets>;

    void DecodeWords(const BitStream& bits);
    void BuildCodeSteps(const CMacros* macros);
    void PrepareStream(const BitStream& bits, Stream& stream) const;
    void SyncPatternPath(const Stream& stream, const CMacros* macros);
    void ScoringPath(const Stream& stream);
    int SearchSyncPattern(const Stream& stream, const std::vector<int>& codes, int names) const;
    unsigned ScoreOffsets(const Stream& stream, std::int32_t p, OffsetScores& scores) const;
    unsigned ScoreOffsetsNearEnd(const Stream& stream, std::int32_t p, OffsetScores& scores) const;

    bool checkend(const Stream& stream, std::int32_t p) const;
    int getWord(const Stream& stream, std::int32_t p) const {
        return stream.codes[static_cast<std::size_t>(p)];
    }
    bool findMatch(int code) const { return codeRows_[static_cast<std::size_t>(code)] >= 0; }
    // False when the word was left out (bits without a recorded position).
    bool StoreWord(const Stream& stream, std::int32_t p, int shift);
    bool IsComma(int code) const;
    void CarryCommaBack(const Stream& stream, const std::vector<std::int32_t>& wordBits);
    std::int32_t CarriedStart(const Stream& stream, std::int32_t comma) const;
    void ReplaceWords(const Stream& stream, std::size_t first, std::size_t last, std::int32_t from,
                      std::int32_t to, std::int32_t previousEnd, std::size_t agreeing);
    int LastExpectedDisparity() const;

    void Show(const std::string& text, int mode) const;

    std::vector<std::int16_t> tableRows_;
    std::vector<std::int8_t> expectedDisparity_;
    std::vector<std::int32_t> startPositions_;
    std::vector<std::int32_t> endPositions_;
    std::vector<std::int16_t> alignmentShifts_;

    CAnalysisHost* host_;
    bool decoded_ = false;
    // Per 10-bit code: its first code-table row, and its score step under either expected
    // disparity (see CSataWordDecoder.cpp), so no decoding loop scans the table.
    std::array<std::int16_t, 1024> codeRows_{};
    std::array<std::uint16_t, 1024> codeSteps_{};
    std::array<std::int8_t, 1024> codeColumns_{};  // disparity column of the code's row
    std::string logSource_ = "CSataWordDecoder";
};

}  // namespace kestrava

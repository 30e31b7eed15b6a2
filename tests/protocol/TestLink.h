// Test-only helpers: a tiny encoder that builds a recovered bit stream from characters
// picked in the loaded code table (tracking running disparity), a bit-serial reference
// scrambler, and a fixture that loads the shipped SATA definition.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/CAnalysisHost.h"
#include "definition/CMacros.h"
#include "signal/BitStream.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {

// SATA scrambler, one bit per step; no table tricks, so it checks the product's one.
class RefScrambler {
  public:
    void Reset() { state_ = 0xFFFF; }
    std::uint32_t Next();

  private:
    std::uint16_t state_ = 0xFFFF;
};

class TestLink {
  public:
    explicit TestLink(const CMacros& macros, int samplesPerBit = 10);

    // A character by name or value, sent with the code of the current disparity.
    TestLink& Char(const std::string& name);
    TestLink& Value(int value);
    // A primitive of the loaded definition, by name.
    TestLink& Primitive(const std::string& name, int times = 1);
    // A 32-bit word as four data characters, low byte first.
    TestLink& Dword(std::uint32_t value);
    // A start of frame, the words scrambled from a fresh sequence, an end of frame.
    TestLink& Frame(const std::vector<std::uint32_t>& plain);
    // Raw 10-bit code, raw bits (disparity untouched).
    TestLink& Code(int code);
    TestLink& Bits(std::initializer_list<int> bits);
    // Drops the last bit sent (a bit lost by the recovery).
    TestLink& DropBit();
    // Idle line: the next bit is centred this many samples later than it would be.
    TestLink& Pause(int samples);

    int BitCount() const { return static_cast<int>(bits_.size()); }
    int Disparity() const { return rd_; }
    BitStream Stream(bool inverted = false) const;

    RefScrambler scrambler;

  private:
    const CMacros& macros_;
    std::map<std::string, int> values_;         // names already looked up
    std::map<int, std::pair<int, int>> codes_;  // value -> (RD+ code, RD- code)
    int samplesPerBit_;
    int rd_ = -1;
    long long nextSample_ = 0;
    std::vector<std::int8_t> bits_;
    std::vector<std::int32_t> positions_;
};

// Loads the shipped Sata.csv (copied into the test's own data home) as the process-wide
// definition; an optional definition text replaces it.
class DecoderTest : public TempFolders {
  protected:
    void SetUp() override;
    void TearDown() override;
    void LoadDefinition(const std::string& text);

    std::unique_ptr<CMacros> macros_;
    CAnalysisHost host_;
};

// Primitive numbers of the shipped SATA definition.
inline constexpr int kAlign = 0;
inline constexpr int kCont = 1;
inline constexpr int kEof = 3;
inline constexpr int kHold = 4;
inline constexpr int kHolda = 5;
inline constexpr int kSof = 14;
inline constexpr int kSync = 15;

}  // namespace kestrava::test

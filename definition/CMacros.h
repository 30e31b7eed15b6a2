// The protocol definition of the running program: the 8b/10b code table and the
// primitives of one serial standard, with its code-table name, trigger standard and bit
// rate. One per process, reached through TheMacros().
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava {

struct WordSpec {
    std::string name;  // trimmed field, empty for a brace word
    int value = -1;    // character value, -1 unknown or brace word
    int rdPlusCode = -1;
    int rdMinusCode = -1;
    int rangeLow = -1;
    int rangeHigh = -1;
    std::vector<std::string> nameList;  // brace list form
    int brace = 0;
};

struct PrimitiveDefinition {
    std::string name;
    std::vector<WordSpec> words;
    int wordCount = 0;
    int brace = 0;
};

// A code-table row's disparity column.
inline constexpr std::int8_t kSentAtRdPlus = 0;
inline constexpr std::int8_t kSentAtRdMinus = 1;
inline constexpr std::int8_t kSentAtBoth = 2;

class CMacros {
  public:
    static constexpr int kMaxRows = 1200;
    static constexpr int kMaxNames = 1250;
    static constexpr std::size_t kMaxNameLength = 24;
    static constexpr std::size_t kMaxTokenLength = 99;
    static constexpr std::size_t kMaxHeaderLength = 27;
    static constexpr int kCodeCount = 1024;
    // Outside files are read up to these sizes; the real ones are a few kilobytes.
    static constexpr std::size_t kMaxTableFileBytes = 4u << 20;
    static constexpr std::size_t kMaxDefinitionFileBytes = 64u << 10;

    CMacros();
    virtual ~CMacros();
    CMacros(const CMacros&) = delete;
    CMacros& operator=(const CMacros&) = delete;

    void LoadMacros(const std::string& path);
    void Load8B10BTable(const std::string& path);
    void LoadPrimitive(const std::string& path);
    void ClearAllMacros();

    int Get8BitValue(const std::string& name) const;
    std::string GetWordFrom8Bit(int value) const;
    void GetRDPandMfrom8BitVal(int value, int& rdPlusCode, int& rdMinusCode) const;
    static int getValueFromBinary(const std::string& text);
    // Code-table form: any non-hex character is skipped without using up a weight.
    static int getValueFromHex(const std::string& text);
    // Hex-entry form: upper-cases the text and expects hexadecimal digits only.
    static int getValueFromHex(const std::string& text, bool digitsOnly);

    // First code-table row of a 10-bit code, -1 when no row holds it; the same answer
    // as scanning rows 0..lastRow, in one step.
    int RowOfCode(int tenBits) const {
        return tenBits >= 0 && tenBits < kCodeCount ? codeIndex_[static_cast<std::size_t>(tenBits)]
                                                    : -1;
    }

    // Header values.
    std::string encodingFileName;
    std::string triggerStandard = "IBAND";
    std::string bitRateText = "2.5E9";
    int standardGiven = 0;
    int bitRateGiven = 0;

    // Primitives, in file order; position p is the primitive's number.
    std::vector<std::string> primitiveNames;
    std::vector<PrimitiveDefinition> primitives;
    int averageWordCount = 0;
    std::vector<std::pair<std::string, int>> singleWordTable;
    std::vector<int> fourWordPrimitives;  // indexes into primitives

    // Code-table markers; -1 until a table sets them.
    int lastControlRow = -1;
    int firstControlRow = -1;
    int rdErrorLastRow = -1;
    int rdErrorFirstRow = -1;

    // Code table: parallel arrays of kMaxRows rows.
    std::array<int, kMaxRows> code{};
    std::array<std::int8_t, kMaxRows> disparity{};
    std::array<std::int8_t, kMaxRows> disparityChange{};
    std::array<int, kMaxRows> value{};
    int lastRow = -1;
    std::array<std::string, kMaxNames> nameTable;

  private:
    void RebuildCodeIndex();
    void ReadCodeTable(const std::string& path);
    void StoreRecord(const std::array<std::string, 5>& fields, int& row, bool& fullLogged);
    void ReadDefinitionLines(const std::string& text);
    void AddPrimitiveLine(const std::string& line);
    WordSpec PlainWord(const std::string& field) const;
    WordSpec BraceWord(std::string_view inner) const;

    std::array<std::int16_t, kCodeCount> codeIndex_{};
    std::string logSource_ = "CMacros";
};

// The process-wide protocol definition; null outside a decoding session.
CMacros* TheMacros();
void SetTheMacros(CMacros* macros);

}  // namespace kestrava

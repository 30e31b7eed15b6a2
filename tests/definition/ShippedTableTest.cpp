// The shipped code table and definitions: reproducible from the generator, true to the
// published 8b/10b code, and loaded as the decoders need them.
#include <gtest/gtest.h>

#include <bitset>
#include <map>
#include <set>
#include <string>

#include "tests/definition/MacrosTestSupport.h"
#include "tools/kestrava-tablegen/CodeTableGenerator.h"

namespace kestrava::test {
namespace {

using tablegen::CodeCharacter;

int Disparity(int code) {
    return 2 * static_cast<int>(std::bitset<10>(static_cast<unsigned>(code)).count()) - 10;
}

int LongestRun(int code) {
    int longest = 1, run = 1;
    for (int i = 8; i >= 0; --i) {
        run = ((code >> i) & 1) == ((code >> (i + 1)) & 1) ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

bool Contains(int code, int pattern) {
    for (int shift = 0; shift <= 3; ++shift)
        if (((code >> shift) & 0x7F) == pattern) return true;
    return false;
}

class ShippedTable : public MacrosTest {
  protected:
    void SetUp() override {
        MacrosTest::SetUp();
        InstallShippedTable();
        WriteFile(MacrosPath("Sata.csv"), ShippedFile("Macros/Sata.csv"));
        WriteFile(MacrosPath("PCIExpress.csv"), ShippedFile("Macros/PCIExpress.csv"));
    }
};

TEST_F(ShippedTable, GeneratorReproducesTheShippedFile) {
    const std::string shipped = ShippedFile("Encoding/8b10b.csv");
    ASSERT_FALSE(shipped.empty());
    EXPECT_TRUE(tablegen::GenerateCodeTable() == shipped) << "regenerate with kestrava-tablegen";
}

TEST_F(ShippedTable, EveryCharacterFollowsTheCodeRules) {
    const std::vector<CodeCharacter> all = tablegen::ValidCharacters();
    ASSERT_EQ(all.size(), 268u);
    std::map<int, std::string> owner;
    for (const CodeCharacter& c : all) {
        SCOPED_TRACE(c.name);
        for (int code : {c.rdMinusCode, c.rdPlusCode}) {
            ASSERT_GE(code, 0);
            ASSERT_LT(code, 1024);
            EXPECT_LE(LongestRun(code), 5);
            auto [it, fresh] = owner.emplace(code, c.name);
            EXPECT_TRUE(fresh || it->second == c.name) << "code shared with " << it->second;
        }
        const int minus = Disparity(c.rdMinusCode), plus = Disparity(c.rdPlusCode);
        EXPECT_TRUE(minus == 0 || minus == 2);
        EXPECT_TRUE(plus == 0 || plus == -2);
        EXPECT_EQ(minus == 0, plus == 0);
        // Only commas hold five equal bits; only K28.1, K28.5, K28.7 hold the comma.
        const bool comma = c.name == "K28.1" || c.name == "K28.5" || c.name == "K28.7";
        EXPECT_EQ(Contains(c.rdMinusCode, 0b0011111), comma);
        EXPECT_EQ(Contains(c.rdPlusCode, 0b1100000), comma);
        EXPECT_EQ(LongestRun(c.rdMinusCode) == 5 || LongestRun(c.rdPlusCode) == 5, comma);
    }
    const std::map<std::string, std::pair<int, int>> published = {
        {"D0.0", {0b1001110100, 0b0110001011}},  {"D21.5", {0b1010101010, 0b1010101010}},
        {"K28.5", {0b0011111010, 0b1100000101}}, {"D17.7", {0b1000110111, 0b1000110001}},
        {"D11.7", {0b1101001110, 0b1101001000}}, {"D7.3", {0b1110001100, 0b0001110011}},
        {"K23.7", {0b1110101000, 0b0001010111}}, {"D10.2", {0b0101010101, 0b0101010101}},
        {"K28.3", {0b0011110011, 0b1100001100}}, {"D27.3", {0b1101100011, 0b0010011100}}};
    for (const CodeCharacter& c : all) {
        auto it = published.find(c.name);
        if (it == published.end()) continue;
        EXPECT_EQ(c.rdMinusCode, it->second.first) << c.name;
        EXPECT_EQ(c.rdPlusCode, it->second.second) << c.name;
    }
}

TEST_F(ShippedTable, LoadedTableIndexesEveryCodeAndMarksWrongDisparity) {
    CMacros m;
    m.Load8B10BTable(EncodingPath("8b10b.csv"));
    ASSERT_TRUE(messages.texts.empty());
    ASSERT_GT(m.lastRow, 0);
    ASSERT_LT(m.lastRow, CMacros::kMaxRows);

    for (int c = 0; c < CMacros::kCodeCount; ++c) {
        int scan = -1;
        for (int r = 0; r <= m.lastRow && scan < 0; ++r)
            if (m.code[static_cast<std::size_t>(r)] == c) scan = r;
        ASSERT_EQ(m.RowOfCode(c), scan) << c;
    }

    // Data rows, then the wrong-disparity rows, then the 24 control rows at the end.
    EXPECT_LT(m.rdErrorFirstRow, m.rdErrorLastRow);
    EXPECT_EQ(m.rdErrorLastRow + 1, m.firstControlRow);
    EXPECT_EQ(m.lastControlRow, m.lastRow);
    EXPECT_EQ(m.lastControlRow - m.firstControlRow + 1, 24);
    for (int r = 0; r <= m.lastRow; ++r) {
        const auto i = static_cast<std::size_t>(r);
        EXPECT_EQ(m.disparityChange[i], Disparity(m.code[i]) != 0 ? 1 : 0) << r;
        EXPECT_EQ(m.value[i] >= 256, r >= m.firstControlRow) << r;
        if (r >= m.rdErrorFirstRow && r <= m.rdErrorLastRow) {
            EXPECT_EQ(m.disparity[i], kSentAtBoth) << r;
        }
    }

    // Every character: name and value round trip, and its own valid codes come back.
    for (const CodeCharacter& c : tablegen::ValidCharacters()) {
        EXPECT_EQ(m.Get8BitValue(c.name), c.value) << c.name;
        EXPECT_EQ(m.GetWordFrom8Bit(c.value), c.name);
        int plus = 0, minus = 0;
        m.GetRDPandMfrom8BitVal(c.value, plus, minus);
        EXPECT_EQ(minus, c.rdMinusCode) << c.name;
        EXPECT_EQ(plus, c.rdPlusCode) << c.name;
    }
    EXPECT_EQ(m.Get8BitValue("--"), 268);
    EXPECT_EQ(m.GetWordFrom8Bit(268), "--");

    // A wrong-disparity row: D0.0's RD- 6b block followed by the RD- 4b block.
    const int wrong = m.RowOfCode(0b1001111011);
    EXPECT_GE(wrong, m.rdErrorFirstRow);
    EXPECT_LE(wrong, m.rdErrorLastRow);
    EXPECT_EQ(m.value[static_cast<std::size_t>(wrong)], 0);
}

TEST_F(ShippedTable, SataDefinitionNumbersThePrimitivesTheDecoderNeeds) {
    CMacros m;
    m.LoadMacros(MacrosPath("Sata.csv"));
    EXPECT_TRUE(messages.texts.empty());
    ASSERT_EQ(m.primitives.size(), 18u);
    EXPECT_EQ(m.primitiveNames[0], "ALIGN");
    EXPECT_EQ(m.primitiveNames[1], "CONT");
    EXPECT_EQ(m.primitiveNames[3], "EOF");
    EXPECT_EQ(m.primitiveNames[14], "SOF");
    EXPECT_TRUE(m.singleWordTable.empty());
    EXPECT_EQ(m.fourWordPrimitives.size(), 18u);
    EXPECT_EQ(m.averageWordCount, 4);
    EXPECT_EQ(m.triggerStandard, "SATA");
    EXPECT_EQ(m.bitRateText, "1.5E9");
    EXPECT_EQ(m.standardGiven + m.bitRateGiven, 2);
    std::set<std::vector<int>> distinct;
    for (const PrimitiveDefinition& p : m.primitives) {
        std::vector<int> values;
        for (const WordSpec& w : p.words) {
            EXPECT_GE(w.value, 0) << p.name << " " << w.name;
            EXPECT_NE(w.rdPlusCode, -1);
            EXPECT_NE(w.rdMinusCode, -1);
            values.push_back(w.value);
        }
        EXPECT_EQ(values[0], p.name == "ALIGN" ? 261 : 259) << p.name;
        distinct.insert(values);
    }
    EXPECT_EQ(distinct.size(), 18u);
}

TEST_F(ShippedTable, PciExpressDefinitionUsesBraceWords) {
    CMacros m;
    m.LoadMacros(MacrosPath("PCIExpress.csv"));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(m.triggerStandard, "PCIExpress");
    EXPECT_EQ(m.bitRateText, "2.5E9");
    ASSERT_EQ(m.primitives.size(), 14u);
    const PrimitiveDefinition& ts1 = m.primitives[0];
    EXPECT_EQ(ts1.name, "TS1");
    EXPECT_EQ(ts1.wordCount, 16);
    EXPECT_EQ(ts1.brace, 1);
    EXPECT_EQ(ts1.words[1].rangeLow, 0);
    EXPECT_EQ(ts1.words[1].rangeHigh, 255);
    EXPECT_EQ(ts1.words[2].rangeHigh, 31);
    EXPECT_EQ(ts1.words[4].nameList, (std::vector<std::string>{"D2.0", "D6.0", "D2.4", "D6.4"}));
    EXPECT_EQ(ts1.words[15].value, 74);
    EXPECT_EQ(m.primitives[5].words[2].value, 264);  // TS2_PAD: PAD is K23.7
    EXPECT_EQ(m.fourWordPrimitives, (std::vector<int>{6, 7, 8}));
    ASSERT_EQ(m.singleWordTable.size(), 4u);
    EXPECT_EQ(m.singleWordTable[0], (std::pair<std::string, int>("STP", 265)));
    for (const PrimitiveDefinition& p : m.primitives)
        for (const WordSpec& w : p.words)
            if (!w.brace) {
                EXPECT_GE(w.value, 0) << p.name;
            }
}

}  // namespace
}  // namespace kestrava::test

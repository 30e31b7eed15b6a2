// The code table loader: records, markers, lookups and the limits of its fixed tables.
#include <gtest/gtest.h>

#include <string>

#include "base/Folders.h"
#include "tests/definition/MacrosTestSupport.h"

namespace kestrava::test {
namespace {

const char* const kWorkedTable =
    "Code table\n"
    "WORD_START\n"
    "D0.0,1001110100,0110001011,0,00\n"
    "D3.1,1100011001,1100011001,0,23\n"
    "D21.5,1010101010,1010101010,0,B5\n"
    "CONTROL_WORD_START\n"
    "K28.5,0011111010,1100000101,1,105\n"
    "CONTROL_WORD_END\n"
    "WORD_END\n";

int ScanRow(const CMacros& m, int code) {
    for (int r = 0; r <= m.lastRow; ++r)
        if (m.code[static_cast<std::size_t>(r)] == code) return r;
    return -1;
}

void ExpectIndexMatchesScan(const CMacros& m) {
    for (int c = 0; c < CMacros::kCodeCount; ++c)
        ASSERT_EQ(m.RowOfCode(c), ScanRow(m, c)) << "code " << c;
    EXPECT_EQ(m.RowOfCode(-1), -1);
    EXPECT_EQ(m.RowOfCode(1024), -1);
}

using CodeTableLoader = MacrosTest;

TEST_F(CodeTableLoader, WorkedExampleYieldsRowsMarkersAndLookups) {
    WriteFile(EncodingPath("small.csv"), kWorkedTable);
    CMacros m;
    m.Load8B10BTable(EncodingPath("small.csv"));

    ASSERT_EQ(m.lastRow, 5);
    const int codes[] = {0b1001110100, 0b0110001011, 0b1100011001,
                         0b1010101010, 0b0011111010, 0b1100000101};
    const int columns[] = {1, 0, 2, 2, 1, 0};
    const int values[] = {0x00, 0x00, 0x23, 0xB5, 0x105, 0x105};
    const int changes[] = {0, 0, 0, 0, 1, 1};
    for (std::size_t r = 0; r < 6; ++r) {
        EXPECT_EQ(m.code[r], codes[r]) << r;
        EXPECT_EQ(m.disparity[r], columns[r]) << r;
        EXPECT_EQ(m.value[r], values[r]) << r;
        EXPECT_EQ(m.disparityChange[r], changes[r]) << r;
    }
    EXPECT_EQ(m.firstControlRow, 4);
    EXPECT_EQ(m.lastControlRow, 5);
    EXPECT_EQ(m.Get8BitValue("k28.5 "), 261);
    EXPECT_EQ(m.Get8BitValue("\tD21.5\r\n"), 0xB5);
    EXPECT_EQ(m.Get8BitValue("--"), 1);  // the first unassigned value
    EXPECT_EQ(m.Get8BitValue("D9.9"), -1);
    EXPECT_EQ(m.Get8BitValue(""), -1);
    EXPECT_EQ(m.GetWordFrom8Bit(261), "--");  // above the last control row of this table
    EXPECT_EQ(m.GetWordFrom8Bit(0), "D0.0");
    EXPECT_EQ(m.GetWordFrom8Bit(-1), "--");

    int plus = 0, minus = 0;
    m.GetRDPandMfrom8BitVal(0, plus, minus);
    EXPECT_EQ(minus, 0b1001110100);
    EXPECT_EQ(plus, 0b0110001011);
    m.GetRDPandMfrom8BitVal(0x23, plus, minus);
    EXPECT_EQ(minus, 0b1100011001);
    EXPECT_EQ(plus, 0b1100011001);
    m.GetRDPandMfrom8BitVal(7, plus, minus);
    EXPECT_EQ(plus, -1);
    EXPECT_EQ(minus, -1);
    ExpectIndexMatchesScan(m);
    EXPECT_NE(LogText().find(":: INFO  >>CMacros::Exiting Try Block:Load8B10BTable\r\n"),
              std::string::npos);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(CodeTableLoader, RecordsSpanTokensAndEmptyFieldsShiftTheRest) {
    // A record split over lines, spreadsheet markers with trailing cells, a 0x prefix.
    WriteFile(EncodingPath("split.csv"),
              "title WORD_START,,,,\n"
              "D0.0,1001110100\n0110001011,0,00 D3.1,1100011001,,1100011001,0,0x23\n"
              "RD_ERROR_START,, K28.5,0011111010,1100000101,1,0x105 RD_ERROR_END,,,\n"
              "WORD_END,,,,\n");
    CMacros m;
    m.Load8B10BTable(EncodingPath("split.csv"));
    ASSERT_EQ(m.lastRow, 4);
    EXPECT_EQ(m.code[1], 0b0110001011);
    EXPECT_EQ(m.disparity[2], kSentAtBoth);
    EXPECT_EQ(m.value[2], 0x23);
    EXPECT_EQ(m.value[3], 0x105);
    EXPECT_EQ(m.rdErrorFirstRow, 3);
    EXPECT_EQ(m.rdErrorLastRow, 4);

    // "D0.0,1001110100,,0,00": the empty field vanishes, so the record takes the next
    // record's name as its value and every later record is misaligned by one field.
    WriteFile(EncodingPath("shift.csv"),
              "WORD_START\nD0.0,1001110100,,0,00\nD1.0,0111010100,1000101011,0,01\nWORD_END\n");
    m.Load8B10BTable(EncodingPath("shift.csv"));
    EXPECT_EQ(m.code[1], 0);       // code B read from "0"
    EXPECT_EQ(m.value[0], 0xD10);  // value read from "D1.0"
    EXPECT_EQ(m.lastRow, 1);       // the remaining four fields make no record
}

TEST_F(CodeTableLoader, NumberConversions) {
    EXPECT_EQ(CMacros::getValueFromBinary("1001110100"), 628);
    EXPECT_EQ(CMacros::getValueFromBinary("1x01"), 9);  // any other character is a 0 digit
    EXPECT_EQ(CMacros::getValueFromBinary(""), 0);
    EXPECT_EQ(CMacros::getValueFromBinary(std::string(40, '1')), 2147483647);  // saturates
    EXPECT_EQ(CMacros::getValueFromHex("0x1BC"), 0x1BC);
    EXPECT_EQ(CMacros::getValueFromHex("b5"), 0xB5);
    EXPECT_EQ(CMacros::getValueFromHex(std::string(24, 'F')), 2147483647);
    EXPECT_EQ(CMacros::getValueFromHex("1bc", true), 0x1BC);
    EXPECT_EQ(CMacros::getValueFromHex("1G", true), 0);
    EXPECT_NE(LogText().find(":: ERROR  >>CMacros::getValueFromHex\r\n"), std::string::npos);
}

TEST_F(CodeTableLoader, FailedOpenKeepsTheTableAndNames) {
    WriteFile(EncodingPath("small.csv"), kWorkedTable);
    CMacros m;
    m.Load8B10BTable(EncodingPath("small.csv"));
    m.Load8B10BTable(EncodingPath("absent.csv"));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], EncodingPath("absent.csv") + " file not found.");
    EXPECT_EQ(messages.captions[0], "KORVAN");
    EXPECT_EQ(m.lastRow, 5);
    EXPECT_EQ(m.Get8BitValue("K28.5"), 261);
    EXPECT_EQ(m.RowOfCode(0b1100000101), 5);
}

TEST_F(CodeTableLoader, NewTableRebuildsRowsOverTheOldAndKeepsAbsentMarkers) {
    WriteFile(EncodingPath("small.csv"), kWorkedTable);
    WriteFile(EncodingPath("tiny.csv"), "WORD_START D7.0,1110001011,0001110100,1,07 WORD_END");
    CMacros m;
    m.Load8B10BTable(EncodingPath("small.csv"));
    m.Load8B10BTable(EncodingPath("tiny.csv"));
    EXPECT_EQ(m.lastRow, 1);
    EXPECT_EQ(m.firstControlRow, 4);  // not in the new table: kept
    EXPECT_EQ(m.Get8BitValue("K28.5"), -1);
    EXPECT_EQ(m.RowOfCode(0b0011111010), -1);  // row 4 still holds it but lies past the last row
    ExpectIndexMatchesScan(m);
}

TEST_F(CodeTableLoader, OversizedInputStaysInsideTheTables) {
    // 1300 rows' worth of records, values far beyond the name table, a 40-character
    // name, a 150-character token: nothing may be written past the fixed tables.
    std::string text = std::string(150, 'x') + "\nWORD_START\n";
    text += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCD,0000000001,0000000010,1,00\n";
    // Records 1..599 fill the table exactly; the later ones need one row each.
    for (int i = 1; i < 700; ++i) {
        const std::string codeA = "1" + std::to_string(i % 2) + "00000000";
        text += "D," + codeA + "," + (i < 600 ? "0100000000" : codeA) + ",0," +
                (i % 3 ? "FFFFF" : "5") + "\n";
    }
    text += "CONTROL_WORD_START\nCONTROL_WORD_END\nWORD_END\n";
    WriteFile(EncodingPath("big.csv"), text);
    CMacros m;
    m.Load8B10BTable(EncodingPath("big.csv"));
    EXPECT_EQ(m.lastRow, CMacros::kMaxRows - 1);
    EXPECT_EQ(m.firstControlRow, CMacros::kMaxRows);
    EXPECT_EQ(m.lastControlRow, CMacros::kMaxRows - 1);
    EXPECT_EQ(m.nameTable[0], "ABCDEFGHIJKLMNOPQRSTUVWX");  // cut to 24 characters
    EXPECT_EQ(m.nameTable[5], "D");
    const std::string log = LogText();
    const std::string full = "Load8B10BTable: more than 1200 rows, further records ignored";
    ASSERT_NE(log.find(full), std::string::npos);
    EXPECT_EQ(log.find(full), log.rfind(full));  // logged once
    ExpectIndexMatchesScan(m);
}

TEST_F(CodeTableLoader, DestructorLogsItsEntryAndExit) {
    { CMacros m; }
    const std::string log = LogText();
    const auto start = log.find(":: ERROR  >>Destr::Start:~CMacros\r\n");
    const auto end = log.find(":: ERROR  >>Destr::End:~CMacros\r\n");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LT(start, end);
}

TEST_F(CodeTableLoader, ProcessWidePointer) {
    EXPECT_EQ(TheMacros(), nullptr);
    CMacros m;
    SetTheMacros(&m);
    EXPECT_EQ(TheMacros(), &m);
    SetTheMacros(nullptr);
    EXPECT_EQ(TheMacros(), nullptr);
}

}  // namespace
}  // namespace kestrava::test

#include "session/ReportFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "base/CAnalysisHost.h"
#include "base/ListBox.h"
#include "base/MessageBox.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class ReportFileTest : public test::TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        SetMessageBoxSink(&messages_);
    }
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        TempFolders::TearDown();
    }
    std::string Path(const std::string& name) const { return Root() + "/" + name; }

    test::RecordingMessageBox messages_;
    CAnalysisHost host_;
};

MemoryListBox Lines(std::initializer_list<std::pair<const char*, ItemData>> lines) {
    MemoryListBox list;
    for (auto& [text, data] : lines) list.AddLine(text, data);
    return list;
}

TEST_F(ReportFileTest, SavedReportHasHeaderThenPositionedLines) {
    MemoryListBox list = Lines({{"K28.5  (-------)            SYNC ", 0x1A2}, {"", 0x200}});
    ASSERT_TRUE(ReportFile::SaveToFile(list, "/captures/a.wfm", Path("r.txt"), host_));
    EXPECT_EQ(ReadFile(Path("r.txt")),
              "Decoded output from file: /captures/a.wfm.\r\n\r\n"
              "0x000001a2:  K28.5  (-------)            SYNC \r\n"
              "0x00000200:  \r\n");
    EXPECT_EQ(host_.StatusText(), "Decoded output saved.\r\n");
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"KORVAN: Decoded output saved"});
}

TEST_F(ReportFileTest, SavingAnEmptyListWritesOnlyTheHeader) {
    MemoryListBox list;
    ReportFile::SaveToFile(list, "t", Path("r.txt"), host_);
    EXPECT_EQ(ReadFile(Path("r.txt")), "Decoded output from file: t.\r\n\r\n");
}

TEST_F(ReportFileTest, UnwritablePathIsReportedNotCountedAsSaved) {
    MemoryListBox list = Lines({{"x", 1}});
    EXPECT_FALSE(ReportFile::SaveToFile(list, "t", Path("absent/r.txt"), host_));
    EXPECT_EQ(host_.StatusText(), "Decoded output NOT saved!\r\n");
    EXPECT_EQ(messages_.Shown().back(), "KORVAN: Unable to open this file for writing!");
}

TEST_F(ReportFileTest, MergingAReportWithItselfPairsEveryLine) {
    MemoryListBox list = Lines(
        {{"K28.5  (-------)  ", 100}, {"", 150}, {"D21.5  (0xb5) ", 200}, {"D10.2  (0x4a) ", 300}});
    ReportFile::SaveToFile(list, "a.wfm", Path("r.txt"), host_);
    ASSERT_TRUE(ReportFile::MergeFile(list, "a.wfm", Path("r.txt"), host_));
    auto row = [](const std::string& left, const std::string& right) {
        return left + std::string(50 - left.size(), ' ') + right + "\r\n";
    };
    EXPECT_EQ(ReadFile(Path("r.txt")),
              "Merged output.\r\n\r\n" + row(" File a.wfm.", " File a.wfm") +
                  std::string(100, '-') + "\r\n" + row("K28.5  (-------)  ", "K28.5  (-------)  ") +
                  row("D21.5  (0xb5) ", "D21.5  (0xb5) ") +
                  row("D10.2  (0x4a) ", "D10.2  (0x4a) "));
    EXPECT_EQ(
        host_.StatusText(),
        "Decoded output saved.\r\nPrevious file read into memory\r\nMerged output saved.\r\n");
    EXPECT_EQ(messages_.Shown().back(), "KORVAN: Merging complete");
}

TEST_F(ReportFileTest, UnpairedLinesGetTheirOwnRowsAndTheTailKeepsItsPositions) {
    WriteFile(Path("old.txt"),
              "Decoded output from file: old.wfm.\r\n\r\n"
              "0x00000064:  A1 line\r\n"
              "0x0000006e:  A2 line\r\n"
              "0x00000078:  A3 line\r\n"
              "0x000003e8:  late line\r\n");
    MemoryListBox list = Lines({{"B at 110", 110}, {"B at 500", 500}});
    ASSERT_TRUE(ReportFile::MergeFile(list, "new.wfm", Path("old.txt"), host_));
    std::string merged = ReadFile(Path("old.txt"));
    std::string rows = merged.substr(merged.find(std::string(100, '-')) + 102);
    EXPECT_EQ(rows,
              "A1 line\r\n"  // 100 lies before 110: alone
              "A2 line" +
                  std::string(43, ' ') +
                  "B at 110\r\n"  // 110 pairs with 110
                  "A3 line\r\n"   // 120 before 500: alone
                  + std::string(50, ' ') +
                  "B at 500\r\n"              // no partner within the gap
                  "0x0003e8:late line\r\n");  // after the last current line
}

TEST_F(ReportFileTest, ShortLinesAreNotHeldAndShortCurrentLinesAreLeftOut) {
    WriteFile(Path("old.txt"),
              "Decoded output from file: o.\r\n\r\n"
              "0x00000010:  \r\n"
              "0x00000020:  X\r\n"
              "0x00000030:  kept\r\n");
    MemoryListBox list = Lines({{"", 0x10}, {"abc", 0x20}, {"four", 0x30}});
    ASSERT_TRUE(ReportFile::MergeFile(list, "n", Path("old.txt"), host_));
    std::string merged = ReadFile(Path("old.txt"));
    std::string rows = merged.substr(merged.find(std::string(100, '-')) + 102);
    EXPECT_EQ(rows, "kept" + std::string(46, ' ') + "four\r\n");
}

TEST_F(ReportFileTest, AMergedFileIsRefusedAndLeftUntouched) {
    MemoryListBox list = Lines({{"K28.5  (-------)  ", 100}});
    ReportFile::SaveToFile(list, "a", Path("r.txt"), host_);
    ReportFile::MergeFile(list, "a", Path("r.txt"), host_);
    std::string before = ReadFile(Path("r.txt"));
    host_.ClearStatus();
    EXPECT_FALSE(ReportFile::MergeFile(list, "a", Path("r.txt"), host_));
    EXPECT_EQ(ReadFile(Path("r.txt")), before);
    EXPECT_EQ(host_.StatusText(), "File in incorrect format\r\n");
    EXPECT_EQ(messages_.Shown().back(),
              "KORVAN: Please select a previously generated analyser file.");
}

TEST_F(ReportFileTest, AFailedWriteKeepsTheEarlierReport) {
    MemoryListBox list = Lines({{"K28.5  (-------)  ", 100}});
    ReportFile::SaveToFile(list, "a", Path("dir/r.txt"), host_);
    std::string before = ReadFile(Path("dir/r.txt"));
    // Something in the way of the merged file beside the report makes the write fail.
    ::mkdir(Path("dir/r.txt.merging").c_str(), 0700);
    bool merged = ReportFile::MergeFile(list, "a", Path("dir/r.txt"), host_);
    EXPECT_FALSE(merged);
    EXPECT_EQ(ReadFile(Path("dir/r.txt")), before);
    EXPECT_EQ(messages_.Shown().back(), "KORVAN: Unable to open this file for merging!");
}

TEST_F(ReportFileTest, MissingReportIsAFailedMerge) {
    MemoryListBox list;
    EXPECT_FALSE(ReportFile::MergeFile(list, "a", Path("none.txt"), host_));
    EXPECT_EQ(host_.StatusText(), "Merging NOT completed sucessfully\r\n");
}

TEST_F(ReportFileTest, ReadFileLineDropsControlAndHighBytesAndTheByteAfterACarriageReturn) {
    WriteFile(Path("l.txt"), std::string("a\tb\xe9"
                                         "c\rXde\r\nlast"));
    std::FILE* f = std::fopen(Path("l.txt").c_str(), "rb");
    std::string line;
    EXPECT_TRUE(ReportFile::ReadFileLine(f, line));
    EXPECT_EQ(line, "abc");
    EXPECT_TRUE(ReportFile::ReadFileLine(f, line));
    EXPECT_EQ(line, "de");  // a bare carriage return cost the X
    EXPECT_FALSE(ReportFile::ReadFileLine(f, line));
    EXPECT_EQ(line, "last");
    std::fclose(f);
}

TEST_F(ReportFileTest, PositionsBeyondTwoMillionSamplesMergeWithoutRunningPastTheKeptLines) {
    WriteFile(Path("old.txt"),
              "Decoded output from file: o.\r\n\r\n"
              "0x00300000:  far line one\r\n"
              "0x00300010:  far line two\r\n");
    MemoryListBox list = Lines({{"current far", 0x500000}});
    ASSERT_TRUE(ReportFile::MergeFile(list, "n", Path("old.txt"), host_));
    std::string merged = ReadFile(Path("old.txt"));
    std::string rows = merged.substr(merged.find(std::string(100, '-')) + 102);
    EXPECT_EQ(rows, "far line one\r\nfar line two\r\n" + std::string(50, ' ') + "current far\r\n");
}

TEST_F(ReportFileTest, PositionsThatAreNotThirtyTwoBitNumbersReadAsZero) {
    WriteFile(Path("old.txt"),
              "Decoded output from file: o.\r\n\r\n"
              "0x-1:        first line\r\n"
              "0x8000000000000000:  second\r\n"
              "0x00000010:  third line\r\n");
    MemoryListBox list = Lines({{"current", 0x10}});
    ASSERT_TRUE(ReportFile::MergeFile(list, "n", Path("old.txt"), host_));
    std::string merged = ReadFile(Path("old.txt"));
    EXPECT_NE(merged.find("third line"), std::string::npos);
}

}  // namespace
}  // namespace kestrava

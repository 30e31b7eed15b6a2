#include "session/ReportFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "base/CAnalysisHost.h"
#include "base/ListBox.h"
#include "base/MessageBox.h"
#include "tests/support/FileSizeLimit.h"
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

// The rows of a merged report, after its header.
std::string Rows(const std::string& merged) {
    return merged.substr(merged.find(std::string(100, '-')) + 102);
}

std::string Row(const std::string& left, const std::string& right) {
    return left + std::string(50 - left.size(), ' ') + right + "\r\n";
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

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

TEST_F(ReportFileTest, MissingReportIsAFailedMerge) {
    MemoryListBox list;
    EXPECT_FALSE(ReportFile::MergeFile(list, "a", Path("none.txt"), host_));
    EXPECT_EQ(host_.StatusText(), "Merging NOT completed sucessfully\r\n");
}

TEST_F(ReportFileTest, ReadFileLineEndsALineAtLfCrLfOrALoneCrAndDropsControlAndHighBytes) {
    WriteFile(Path("l.txt"), std::string("a\tb\xe9"
                                         "c\rXde\r\nfg\n\nlast"));
    std::FILE* f = std::fopen(Path("l.txt").c_str(), "rb");
    std::string line;
    for (const char* expected : {"abc", "Xde", "fg", ""}) {
        EXPECT_TRUE(ReportFile::ReadFileLine(f, line));
        EXPECT_EQ(line, expected);
    }
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

TEST_F(ReportFileTest, AnEarlierReportMergesWhateverItsLineEnds) {
    MemoryListBox list = Lines({{"B at 100", 100}, {"B at 200", 200}});
    for (const std::string end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(end == "\n" ? "LF" : end == "\r" ? "CR" : "CRLF");
        WriteFile(Path("old.txt"), "Decoded output from file: old.wfm." + end + end +
                                       "0x00000064:  A at 100" + end + "0x000000c8:  A at 200" +
                                       end);
        ASSERT_TRUE(ReportFile::MergeFile(list, "new.wfm", Path("old.txt"), host_));
        const std::string merged = ReadFile(Path("old.txt"));
        EXPECT_EQ(
            merged.rfind("Merged output.\r\n\r\n" + Row(" File old.wfm.", " File new.wfm"), 0), 0u);
        EXPECT_EQ(Rows(merged), Row("A at 100", "B at 100") + Row("A at 200", "B at 200"));
    }
}

TEST_F(ReportFileTest, EveryEarlierLineIsKeptHoweverManyAndHowLong) {
    std::string report = "Decoded output from file: o.\r\n\r\n", rows;
    constexpr int kLines = 200005;
    for (int i = 1; i <= kLines; ++i) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "0x%08x:  ", i);
        const std::string text = i == kLines ? std::string(1000, 'L') : "line " + std::to_string(i);
        report += tag + text + "\r\n";
        rows += text + "\r\n";
    }
    WriteFile(Path("old.txt"), report);
    MemoryListBox list = Lines({{"current", 0x7fffffff}});
    ASSERT_TRUE(ReportFile::MergeFile(list, "n", Path("old.txt"), host_));
    EXPECT_TRUE(Rows(ReadFile(Path("old.txt"))) == rows + std::string(50, ' ') + "current\r\n");
}

TEST_F(ReportFileTest, AReportBeyondTheSizeBoundIsRefusedAndLeftUntouched) {
    const std::string header = "Decoded output from file: o.\r\n\r\n0x00000001:  a line\r\n";
    WriteFile(Path("big.txt"), header);
    // Sparse: it takes no room on the disk.
    ASSERT_EQ(::truncate(Path("big.txt").c_str(), ReportFile::kMaxReportBytes + 1), 0);
    MemoryListBox list = Lines({{"current", 1}});
    EXPECT_FALSE(ReportFile::MergeFile(list, "n", Path("big.txt"), host_));
    EXPECT_EQ(std::filesystem::file_size(Path("big.txt")), ReportFile::kMaxReportBytes + 1);
    std::string start(header.size(), '\0');
    std::FILE* f = std::fopen(Path("big.txt").c_str(), "rb");
    ASSERT_EQ(std::fread(start.data(), 1, start.size(), f), start.size());
    std::fclose(f);
    EXPECT_EQ(start, header);
    EXPECT_EQ(host_.StatusText(), "Merging NOT completed sucessfully\r\n" + Path("big.txt") +
                                      ": larger than 1024 MiB, more than a merge holds\r\n");
    EXPECT_EQ(messages_.Shown().back(), "KORVAN: Unable to open this file for merging!\n" +
                                            Path("big.txt") +
                                            ": larger than 1024 MiB, more than a merge holds");
}

// Two programs merging into one report at once take turns: the second finds the first
// one's merged output, which is no report to merge into, and says so.
TEST_F(ReportFileTest, TwoMergesIntoOneReportAtOnceNeverBothSucceed) {
    MemoryListBox list;
    for (int i = 0; i < 20000; ++i) list.AddLine("D21.5  (0xb5)  " + std::to_string(i), i * 10);
    ReportFile::SaveToFile(list, "a", Path("once.txt"), host_);
    ReportFile::MergeFile(list, "a", Path("once.txt"), host_);
    const std::string mergedOnce = ReadFile(Path("once.txt"));
    for (int round = 0; round < 5; ++round) {
        ReportFile::SaveToFile(list, "a", Path("r.txt"), host_);
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        std::vector<pid_t> children;
        for (int c = 0; c < 2; ++c) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                char start;
                if (::read(go[0], &start, 1) != 1) ::_exit(3);
                CAnalysisHost host;
                ::_exit(ReportFile::MergeFile(list, "a", Path("r.txt"), host) ? 0 : 1);
            }
            children.push_back(pid);
        }
        ASSERT_EQ(::write(go[1], "go", 2), 2);
        ::close(go[0]);
        ::close(go[1]);
        int successes = 0;
        for (pid_t pid : children) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            successes += WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        EXPECT_EQ(successes, 1) << "round " << round;
        EXPECT_TRUE(ReadFile(Path("r.txt")) == mergedOnce) << "round " << round;
    }
}

// A report's mode, owner, symbolic link and hard links are what they were after a save or
// a merge; what a replacement cannot keep is refused, with the report left as it was.
TEST_F(ReportFileTest, WritingAReportKeepsItsProtectionAndIdentityOrRefuses) {
    MemoryListBox list = Lines({{"K28.5  (-------)  ", 100}});
    struct Case {
        const char* name;
        std::function<void(const std::string& report)> prepare;
        std::string written;  // the path given to the save or merge
        const char* refusal;  // nullptr when the write goes ahead
        std::function<void(const struct stat& after)> check;
    };
    const std::string report = Path("r.txt"), other = Path("other.txt"), link = Path("link.txt");
    const std::vector<Case> cases = {
        {"read-only", [](const std::string& r) { ::chmod(r.c_str(), 0444); }, report,
         "the file is read-only",
         [](const struct stat& s) { EXPECT_EQ(s.st_mode & 07777, 0444u); }},
        {"private", [](const std::string& r) { ::chmod(r.c_str(), 0600); }, report, nullptr,
         [](const struct stat& s) { EXPECT_EQ(s.st_mode & 07777, 0600u); }},
        {"owned by another", [](const std::string& r) { (void)::chown(r.c_str(), 4321, 4322); },
         report, nullptr,
         [](const struct stat& s) {
             if (::geteuid() != 0) return;  // only the superuser gives files away
             EXPECT_EQ(s.st_uid, 4321u);
             EXPECT_EQ(s.st_gid, 4322u);
         }},
        {"symbolic link", [&](const std::string&) { ::symlink("r.txt", link.c_str()); }, link,
         nullptr,
         [&](const struct stat&) {
             EXPECT_TRUE(std::filesystem::is_symlink(link));
             EXPECT_EQ(ReadFile(link), ReadFile(report));
         }},
        {"hard link", [&](const std::string& r) { ::link(r.c_str(), other.c_str()); }, report,
         "the file has other hard links",
         [&](const struct stat& s) {
             EXPECT_EQ(s.st_nlink, 2u);
             EXPECT_EQ(ReadFile(other), ReadFile(report));
         }},
    };
    for (bool merge : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(merge ? "merge, " : "save, ") + c.name);
            for (const std::string& p : {report, other, link}) ::unlink(p.c_str());
            ASSERT_TRUE(ReportFile::SaveToFile(list, "a", report, host_));
            c.prepare(report);
            const std::string before = ReadFile(report);
            host_.ClearStatus();
            const bool done = merge ? ReportFile::MergeFile(list, "b", c.written, host_)
                                    : ReportFile::SaveToFile(list, "b", c.written, host_);
            EXPECT_EQ(done, c.refusal == nullptr);
            struct stat after {};
            ASSERT_EQ(::stat(report.c_str(), &after), 0);
            c.check(after);
            if (c.refusal) {
                EXPECT_EQ(ReadFile(report), before);
                const std::string failed =
                    merge ? "Merging NOT completed sucessfully" : "Decoded output NOT saved!";
                EXPECT_NE(host_.StatusText().find(failed + "\r\n" + c.written + ": " + c.refusal),
                          std::string::npos)
                    << host_.StatusText();
            } else {
                EXPECT_EQ(ReadFile(report).rfind(merge ? "Merged output." : "Decoded output", 0),
                          0u);
            }
            ::chmod(report.c_str(), 0644);
        }
    }
}

TEST_F(ReportFileTest, APlantedTemporaryIsNotFollowedAndOnlyOurOwnStaleOnesAreCleared) {
    MemoryListBox list = Lines({{"K28.5  (-------)  ", 100}});
    ReportFile::SaveToFile(list, "a", Path("r.txt"), host_);
    WriteFile(Path("victim"), "victim");
    ASSERT_EQ(::symlink(Path("victim").c_str(), Path("r.txt.merging").c_str()), 0);
    // Temporaries of writes killed an hour ago, one of a write under way, and names that
    // only look like ours.
    const std::string stale = ".r.txt.kestrava-Ab12Cd", fresh = ".r.txt.kestrava-Zz99Yy",
                      shortName = ".r.txt.kestrava-x", linked = ".r.txt.kestrava-Ln12Ln",
                      otherReport = ".q.txt.kestrava-Ab12Cd";
    for (const std::string& name : {stale, fresh, shortName, otherReport})
        WriteFile(Path(name), "partial");
    ASSERT_EQ(::symlink(Path("victim").c_str(), Path(linked).c_str()), 0);
    const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const std::string& name : {stale, shortName, linked, otherReport})
        ::utimensat(AT_FDCWD, Path(name).c_str(), hourAgo, AT_SYMLINK_NOFOLLOW);

    ASSERT_TRUE(ReportFile::MergeFile(list, "a", Path("r.txt"), host_));
    EXPECT_EQ(ReadFile(Path("victim")), "victim");
    EXPECT_EQ(ReadFile(Path("r.txt")).rfind("Merged output.", 0), 0u);
    EXPECT_FALSE(std::filesystem::is_symlink(Path("r.txt")));
    EXPECT_EQ(Names(Root()),
              (std::set<std::string>{"data", "tmp", "r.txt", "victim", "r.txt.merging", fresh,
                                     shortName, linked, otherReport}));
}

TEST_F(ReportFileTest, AFullDiskLeavesTheEarlierFileWhole) {
    MemoryListBox small = Lines({{"K28.5  (-------)  ", 100}}), large;
    for (int i = 0; i < 5000; ++i) large.AddLine("D21.5  (0xb5)  " + std::to_string(i), i * 10);
    ::mkdir(Path("dir").c_str(), 0700);
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "save");
        ReportFile::SaveToFile(small, "a", Path("dir/r.txt"), host_);
        const std::string before = ReadFile(Path("dir/r.txt"));
        host_.ClearStatus();
        {
            test::FileSizeLimit full(4096);
            EXPECT_FALSE(merge ? ReportFile::MergeFile(large, "b", Path("dir/r.txt"), host_)
                               : ReportFile::SaveToFile(large, "b", Path("dir/r.txt"), host_));
        }
        EXPECT_EQ(ReadFile(Path("dir/r.txt")), before);
        EXPECT_EQ(Names(Path("dir")), std::set<std::string>{"r.txt"});
        EXPECT_EQ(host_.StatusText(), merge ? "Previous file read into memory\r\n"
                                              "Merging NOT completed sucessfully\r\n"
                                            : "Decoded output NOT saved!\r\n");
        EXPECT_EQ(messages_.Shown().back(), merge
                                                ? "KORVAN: Unable to open this file for merging!"
                                                : "KORVAN: Unable to open this file for writing!");
    }
}

TEST_F(ReportFileTest, OnlyARegularFileIsMergedInto) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ::mkdir(Path("folder").c_str(), 0700);
    MemoryListBox list = Lines({{"K28.5  (-------)  ", 100}});
    for (const auto& [path, reason] :
         std::vector<std::pair<std::string, std::string>>{{Path("fifo"), "not a regular file"},
                                                          {"/dev/zero", "not a regular file"},
                                                          {Path("folder"), "is a folder"}}) {
        SCOPED_TRACE(path);
        host_.ClearStatus();
        EXPECT_FALSE(ReportFile::MergeFile(list, "a", path, host_));
        EXPECT_EQ(host_.StatusText(),
                  "Merging NOT completed sucessfully\r\n" + path + ": " + reason + "\r\n");
    }
    struct stat fifo {};
    ASSERT_EQ(::lstat(Path("fifo").c_str(), &fifo), 0);
    EXPECT_TRUE(S_ISFIFO(fifo.st_mode));
}

}  // namespace
}  // namespace kestrava

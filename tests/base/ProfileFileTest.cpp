#include "base/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class ProfileFileTest : public test::TempFolders {
  protected:
    std::string Path(const std::string& name = "setup.ini") const { return Root() + "/" + name; }
};

TEST_F(ProfileFileTest, WritesCreateFileSectionAndKeyAndReadBack) {
    const std::string path = Path();
    ASSERT_TRUE(WriteProfileString(path, "Main", "Data Source", "3"));
    ASSERT_TRUE(WriteProfileString(path, "Main", "Serial Standard", "1"));
    ASSERT_TRUE(WriteProfileString(path, "Trigger", "char1", "K28.5"));
    ASSERT_TRUE(WriteProfileString(path, "Main", "Data Source", "11"));
    EXPECT_EQ(ReadFile(path),
              "[Main]\r\nData Source=11\r\nSerial Standard=1\r\n\r\n[Trigger]\r\nchar1=K28.5\r\n");
    EXPECT_EQ(ReadProfileString(path, "Main", "Data Source", "x"), "11");
    EXPECT_EQ(ReadProfileString(path, "Trigger", "char1", "x"), "K28.5");
}

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGiveTheFallback) {
    const std::string path = Path();
    EXPECT_EQ(ReadProfileString(path, "Main", "GridLines", "none"), "none");
    WriteFile(path, "[Main]\nGridLines=1\n");
    EXPECT_EQ(ReadProfileString(path, "Trigger", "GridLines", "none"), "none");
    EXPECT_EQ(ReadProfileString(path, "Main", "OrigSig", ""), "");
    // A key line outside every section belongs to none.
    WriteFile(path, "Loose=1\n[Main]\n");
    EXPECT_EQ(ReadProfileString(path, "Main", "Loose", "no"), "no");
}

TEST_F(ProfileFileTest, SectionsAndKeysMatchWithoutCaseAndKeysMayHoldBlanks) {
    const std::string path = Path();
    WriteFile(path, "[MAIN]\n  CheckBox SyncPattern =  1 \nData Source=4\n");
    EXPECT_EQ(ReadProfileString(path, "main", "checkbox syncpattern", ""), "1");
    EXPECT_EQ(ReadProfileString(path, "Main", "DATA SOURCE", ""), "4");
    // Blanks inside a key are part of its name.
    EXPECT_EQ(ReadProfileString(path, "Main", "DataSource", "absent"), "absent");
    // Rewriting through another spelling keeps the file's spelling and the one line;
    // the untouched line stays exactly as it was.
    ASSERT_TRUE(WriteProfileString(path, "main", "data source", "7"));
    EXPECT_EQ(ReadFile(path), "[MAIN]\r\n  CheckBox SyncPattern =  1 \r\nData Source=7\r\n");
}

TEST_F(ProfileFileTest, LfAndCrlfFilesReadAlikeAndWritesUseCrlf) {
    WriteFile(Path("lf.ini"), "[General]\nManufacturer=Brennock\nModel=QVM5104\n");
    WriteFile(Path("crlf.ini"), "[General]\r\nManufacturer=Brennock\r\nModel=QVM5104");
    for (const char* name : {"lf.ini", "crlf.ini"}) {
        EXPECT_EQ(ReadProfileString(Path(name), "General", "Manufacturer", ""), "Brennock");
        EXPECT_EQ(ReadProfileString(Path(name), "General", "Model", ""), "QVM5104");
        ASSERT_TRUE(WriteProfileString(Path(name), "General", "Model", "QVM6001"));
        EXPECT_EQ(ReadFile(Path(name)), "[General]\r\nManufacturer=Brennock\r\nModel=QVM6001\r\n");
    }
}

TEST_F(ProfileFileTest, WritesKeepCommentsUnknownSectionsAndOtherLines) {
    const std::string path = Path();
    WriteFile(path,
              "; written by hand\r\n"
              "[Main]\r\n"
              "WordNames=1\r\n"
              "not an entry\r\n"
              "; about the next section\r\n"
              "\r\n"
              "[Vendor Extras]\r\n"
              "Colour=blue ; not a comment here\r\n"
              "[Trigger]\r\n"
              "bCharacterError=0\r\n");
    ASSERT_TRUE(WriteProfileString(path, "Main", "OrigSig", "0"));
    ASSERT_TRUE(WriteProfileString(path, "Trigger", "bCharacterError", "1"));
    EXPECT_EQ(ReadFile(path),
              "; written by hand\r\n"
              "[Main]\r\n"
              "WordNames=1\r\n"
              "not an entry\r\n"
              "OrigSig=0\r\n"
              "; about the next section\r\n"
              "\r\n"
              "[Vendor Extras]\r\n"
              "Colour=blue ; not a comment here\r\n"
              "[Trigger]\r\n"
              "bCharacterError=1\r\n");
    EXPECT_EQ(ReadProfileString(path, "Vendor Extras", "Colour", ""), "blue ; not a comment here");
}

TEST_F(ProfileFileTest, CommentedOutKeysAreNotRead) {
    const std::string path = Path();
    WriteFile(path, "[Main]\n;RefLevelP=10\nRefLevelP=50\n");
    EXPECT_EQ(ReadProfileString(path, "Main", "RefLevelP", ""), "50");
    WriteFile(path, "[Main]\n;RefLevelP=10\n");
    EXPECT_EQ(ReadProfileString(path, "Main", "RefLevelP", "none"), "none");
}

TEST_F(ProfileFileTest, ReadsAreCutTo255Characters) {
    const std::string path = Path();
    const std::string longText(400, 'x');
    ASSERT_TRUE(WriteProfileString(path, "Main", "SyncPattern", longText));
    EXPECT_EQ(ReadProfileString(path, "Main", "SyncPattern", ""), std::string(255, 'x'));
    EXPECT_EQ(ReadProfileString(path, "Main", "Other", longText), std::string(255, 'x'));
    // The file itself keeps the whole value.
    EXPECT_NE(ReadFile(path).find(longText), std::string::npos);
    ASSERT_TRUE(WriteProfileString(path, "Main", "SyncPattern", std::string(255, 'y')));
    EXPECT_EQ(ReadProfileString(path, "Main", "SyncPattern", ""), std::string(255, 'y'));
}

TEST_F(ProfileFileTest, ValuesThatWouldCorruptTheFileAreRefused) {
    const std::string path = Path();
    ASSERT_TRUE(WriteProfileString(path, "Main", "SyncPattern", "K28.5"));
    const std::string before = ReadFile(path);
    EXPECT_FALSE(WriteProfileString(path, "Main", "SyncPattern", "K28.5\r\n[Trigger]"));
    EXPECT_FALSE(WriteProfileString(path, "Main", "Sync=Pattern", "1"));
    EXPECT_FALSE(WriteProfileString(path, "Main", "", "1"));
    EXPECT_FALSE(WriteProfileString(path, "Main", ";key", "1"));
    EXPECT_FALSE(WriteProfileString(path, "Ma]in", "key", "1"));
    EXPECT_FALSE(WriteProfileString(path, "Ma\nin", "key", "1"));
    EXPECT_EQ(ReadFile(path), before);
}

TEST_F(ProfileFileTest, OversizedOrUnreadableFilesAreRefusedAndNeverReplaced) {
    const std::string path = Path();
    std::string big = "[Main]\nA=1\n" + std::string(kProfileFileMaxBytes, ';');
    WriteFile(path, big);
    EXPECT_EQ(ReadProfileString(path, "Main", "A", "refused"), "refused");
    EXPECT_FALSE(WriteProfileString(path, "Main", "B", "2"));
    EXPECT_EQ(std::filesystem::file_size(path), big.size());
    // A folder where the file should be.
    std::filesystem::create_directories(Path("folder.ini"));
    EXPECT_EQ(ReadProfileString(Path("folder.ini"), "Main", "A", "refused"), "refused");
    EXPECT_FALSE(WriteProfileString(Path("folder.ini"), "Main", "A", "1"));
}

TEST_F(ProfileFileTest, WritesFailCleanlyWhenTheFolderIsMissing) {
    EXPECT_FALSE(WriteProfileString(Root() + "/no/such/folder/setup.ini", "Main", "A", "1"));
}

TEST_F(ProfileFileTest, ReplacementLeavesNoTemporaryFilesAndKeepsTheMode) {
    const std::string path = Path();
    WriteFile(path, "[Main]\nA=1\n");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteProfileString(path, "Main", "A", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Root())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3);  // data, tmp and the profile itself
}

TEST_F(ProfileFileTest, WritesGoThroughASymbolicLink) {
    const std::string real = Path("real.ini");
    WriteFile(real, "[Main]\nA=1\n");
    std::filesystem::create_symlink(real, Path("link.ini"));
    ASSERT_TRUE(WriteProfileString(Path("link.ini"), "Main", "A", "5"));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.ini")));
    EXPECT_EQ(ReadFile(real), "[Main]\r\nA=5\r\n");
}

TEST_F(ProfileFileTest, ByteOrderMarkIsSkippedOnReadAndKeptOnWrite) {
    const std::string path = Path();
    WriteFile(path, "\xEF\xBB\xBF[Main]\nA=1\n");
    EXPECT_EQ(ReadProfileString(path, "Main", "A", ""), "1");
    ASSERT_TRUE(WriteProfileString(path, "Main", "A", "2"));
    EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[Main]\r\nA=2\r\n");
}

TEST_F(ProfileFileTest, FirstOfRepeatedSectionsAndKeysCounts) {
    ProfileFile file("[Main]\nA=1\nA=2\n[Main]\nA=3\nB=4\n");
    EXPECT_EQ(file.Get("Main", "A"), "1");
    EXPECT_EQ(file.Get("Main", "B"), std::nullopt);
    ASSERT_TRUE(file.Set("Main", "A", "9"));
    EXPECT_EQ(file.Text(), "[Main]\r\nA=9\r\nA=2\r\n[Main]\r\nA=3\r\nB=4\r\n");
}

TEST_F(ProfileFileTest, EmptyValuesAndSectionsWithoutEntries) {
    ProfileFile file("[Main]\nSyncPattern=\n[Trigger]\n");
    EXPECT_EQ(file.Get("Main", "SyncPattern"), "");
    ASSERT_TRUE(file.Set("Trigger", "char1", "D10.2"));
    ASSERT_TRUE(file.Set("Main", "SyncPattern", ""));
    EXPECT_EQ(file.Text(), "[Main]\r\nSyncPattern=\r\n[Trigger]\r\nchar1=D10.2\r\n");
}

}  // namespace
}  // namespace kestrava

// Standard selection: which definition files are on offer, and the bounds of a user
// pattern file, whatever lies in its place.
#include "session/StandardSelection.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class StandardSelectionTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        fs::create_directories(Folders::DataFolder("UserPattern"));
    }
    static std::string PatternPath(const std::string& title) {
        return Folders::Join(Folders::DataFolder("UserPattern"), title + ".csv");
    }
};

TEST_F(StandardSelectionTest, OffersTheVisibleRegularCsvFilesSorted) {
    const std::string macros = Folders::DataFolder("Macros");
    for (const char* name : {"Zed.csv", ".hidden.csv", "Upper.CSV", "notes.txt"})
        WriteFile(macros + "/" + name, "x");
    fs::create_directories(macros + "/Folder.csv");
    const StandardSelection selection;
    EXPECT_EQ(selection.Titles(), (Lines{"Ethernet1000BaseX", "FibreChannel", "JESD204B",
                                         "PCIExpress", "SAS", "Sata", "USB3Gen1", "Zed"}));
    EXPECT_EQ(selection.IndexOf("Zed"), 7);
    EXPECT_EQ(selection.IndexOf("Folder"), -1);
    EXPECT_EQ(selection.Title(8), "");
}

// Sata first, whatever else is listed; an index saved alone means what it meant when the
// two shipped definitions were all there was.
TEST_F(StandardSelectionTest, SataStaysTheDefaultAndOldIndexesKeepTheirMeaning) {
    const std::string macros = Folders::DataFolder("Macros");
    struct Case {
        const char* what;
        Lines titles;
        std::string defaultTitle;
        Lines savedMeaning;  // the titles saved indexes 0, 1, 2 stand for
        Lines savedIndexes;  // the index saved for each listed title
    };
    const Case cases[] = {
        {"the two shipped", {"PCIExpress", "Sata"}, "Sata", {"PCIExpress", "Sata", ""}, {"0", "1"}},
        {"seven",
         {"Ethernet1000BaseX", "FibreChannel", "JESD204B", "PCIExpress", "SAS", "Sata", "USB3Gen1"},
         "Sata",
         {"PCIExpress", "Sata", "JESD204B"},
         {"0", "1", "2", "0", "4", "1", "6"}},
        {"no Sata",
         {"Alpha", "Beta", "Gamma"},
         "Beta",
         {"Alpha", "Beta", "Gamma"},
         {"0", "1", "2"}},
        {"one", {"Alpha"}, "Alpha", {"Alpha", "", ""}, {"0"}},
        {"none", {}, "", {"", "", ""}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(macros);
        fs::create_directories(macros);
        for (const std::string& title : c.titles) WriteFile(macros + "/" + title + ".csv", "x");
        const StandardSelection s;
        ASSERT_EQ(s.Titles(), c.titles);
        EXPECT_EQ(s.Title(s.DefaultIndex()), c.defaultTitle);
        Lines meaning, saved;
        for (int index = 0; index < 3; ++index) meaning.push_back(s.Title(s.IndexOfSaved(index)));
        for (int index = 0; index < static_cast<int>(c.titles.size()); ++index)
            saved.push_back(std::to_string(s.SavedIndexOf(index)));
        EXPECT_EQ(meaning, c.savedMeaning);
        EXPECT_EQ(saved, c.savedIndexes);
        EXPECT_EQ(s.IndexOfSaved(-1), -1);
    }
}

TEST_F(StandardSelectionTest, UserPatternFileBounds) {
    std::string names257, spaces(StandardSelection::kMaxPatternFileBytes - 5, ' ');
    Lines first256;
    for (int i = 0; i < 257; ++i) {
        names257 += "D" + std::to_string(i) + " ";
        if (i < 256) first256.push_back("D" + std::to_string(i));
    }
    struct Case {
        const char* what;
        std::string contents;
        Lines patterns;
    };
    const Case cases[] = {
        {"split at any blank, file order",
         "K28.5 K28.3,D21.5\r\n\tD10.2\n",
         {"K28.5", "K28.3,D21.5", "D10.2"}},
        {"empty", "", {}},
        {"99 kept, 100 left out",
         std::string(99, 'a') + " " + std::string(100, 'b') + " K28.5",
         {std::string(99, 'a'), "K28.5"}},
        {"at most 256", names257, first256},
        {"64 KiB read", "K28.5" + spaces, {"K28.5"}},
        {"over 64 KiB refused", "K28.5" + spaces + " ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(PatternPath("Sata"), c.contents);
        EXPECT_EQ(StandardSelection::UserPatterns("Sata"), c.patterns);
        EXPECT_EQ(ReadFile(PatternPath("Sata")), c.contents);
    }
}

TEST_F(StandardSelectionTest, OnlyAMissingPatternFileIsCreated) {
    EXPECT_EQ(StandardSelection::UserPatterns("Sata"), Lines{"K28.5"});
    EXPECT_EQ(ReadFile(PatternPath("Sata")), "K28.5");

    // A folder or a pipe in its place gives the default and is left alone; a pipe is
    // neither read nor written, either of which would wait for a writer or reader.
    fs::create_directories(PatternPath("Folder"));
    EXPECT_EQ(StandardSelection::UserPatterns("Folder"), Lines{"K28.5"});
    EXPECT_TRUE(fs::is_directory(PatternPath("Folder")));
    ASSERT_EQ(mkfifo(PatternPath("Pipe").c_str(), 0600), 0);
    EXPECT_EQ(StandardSelection::UserPatterns("Pipe"), Lines{"K28.5"});
    EXPECT_TRUE(fs::is_fifo(PatternPath("Pipe")));
}

}  // namespace
}  // namespace kestrava::test

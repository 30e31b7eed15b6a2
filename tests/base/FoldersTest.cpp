#include "base/Folders.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class FoldersTest : public test::TempFolders {};

TEST_F(FoldersTest, DataRootFollowsXdgDataHomeAndTheLogFollowsTmpdir) {
    EXPECT_EQ(Folders::DataRoot(), DataHome() + "/UlmarApplications/KORVAN");
    EXPECT_EQ(Folders::DataFolder("Macros"), DataHome() + "/UlmarApplications/KORVAN/Macros");
    EXPECT_EQ(Folders::LogFilePath(), Tmp() + "/KORVAN.log");
    EXPECT_EQ(Folders::WdmTempFolder(), Tmp() + "/wdmtemp");
}

TEST_F(FoldersTest, FirstStartCopiesMacrosEncodingAndSampleCapturesFromTheInstallation) {
    WriteFile(Root() + "/install/Macros/Sata.csv", "Primitive definitions\n");
    WriteFile(Root() + "/install/Encoding/8b10b.csv", "Code table\n");
    WriteFile(Root() + "/install/Waveforms/sample.wfm", "capture\n");
    ::setenv("KESTRAVA_INSTALL_DIR", (Root() + "/install").c_str(), 1);
    ASSERT_TRUE(Folders::PrepareDataFolders());
    ::unsetenv("KESTRAVA_INSTALL_DIR");
    EXPECT_EQ(ReadFile(Folders::DataFolder("Macros") + "/Sata.csv"), "Primitive definitions\n");
    EXPECT_EQ(ReadFile(Folders::DataFolder("Encoding") + "/8b10b.csv"), "Code table\n");
    EXPECT_EQ(ReadFile(Folders::DataFolder("Waveforms") + "/sample.wfm"), "capture\n");
    EXPECT_TRUE(Folders::Exists(Folders::DataFolder("Setup")));
    // The Log folder is the user's switch for bit dumps: it is never made for them.
    EXPECT_FALSE(Folders::Exists(Folders::DataFolder("Log")));
}

TEST_F(FoldersTest, ExistingUserFoldersAreNotOverwritten) {
    WriteFile(Folders::DataFolder("Macros") + "/Sata.csv", "edited by the user\n");
    WriteFile(Root() + "/install/Macros/Sata.csv", "shipped\n");
    ::setenv("KESTRAVA_INSTALL_DIR", (Root() + "/install").c_str(), 1);
    Folders::PrepareDataFolders();
    ::unsetenv("KESTRAVA_INSTALL_DIR");
    EXPECT_EQ(ReadFile(Folders::DataFolder("Macros") + "/Sata.csv"), "edited by the user\n");
}

TEST_F(FoldersTest, InstallFolderIsFoundBesideTheBuiltPrograms) {
    EXPECT_TRUE(Folders::Exists(Folders::InstallFolder())) << Folders::InstallFolder();
}

}  // namespace
}  // namespace kestrava

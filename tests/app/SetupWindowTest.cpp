// Setup files through the window: save and recall of every selection it holds, the
// shipped default setup, and the setup-folder check.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/CKestravaDlg.h"
#include "app/CWindowUserInterface.h"
#include "base/Folders.h"
#include "session/SetupFile.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

class RecordingInstrument : public IInstrumentCommands {
  public:
    void SetTriggerSourceChannel(int source) override {
        calls.push_back("trigger source " + std::to_string(source));
    }
    void SelectDisplayChannel(int source) override {
        calls.push_back("display " + std::to_string(source));
    }
    std::vector<std::string> calls;
};

using Dlg = CKestravaDlg;

class SetupWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        savedRecord_ = TheTriggerSetup();
        TheTriggerSetup() = TriggerSetup();
        window = std::make_unique<CKestravaDlg>(instrument);
        window->WaitForDecode();
    }
    void TearDown() override {
        window.reset();
        TheTriggerSetup() = savedRecord_;
        AppTest::TearDown();
    }
    std::string SetupPath(const std::string& name) {
        return Folders::Join(Folders::DataFolder("Setup"), name);
    }

    RecordingInstrument instrument;
    std::unique_ptr<CKestravaDlg> window;

  private:
    TriggerSetup savedRecord_;
};

TEST_F(SetupWindowTest, MenuEntriesAreEnabled) {
    for (int id :
         {Dlg::kRecallDefaultSetup, Dlg::kRecallSetup, Dlg::kSaveSetup, Dlg::kTriggerSetup})
        EXPECT_TRUE(window->Action(id)->isEnabled()) << id;
}

TEST_F(SetupWindowTest, SavedSetupRestoresTheWindowTheOptionsAndTheTriggerRecord) {
    window->DataSourceList()->setCurrentIndex(2);
    window->OnDataSourceChanged(2);
    window->SetDisplayState(2);
    window->SetDataFilter(1);
    window->Action(Dlg::kGridAndLevels)->setChecked(true);
    window->Action(Dlg::kWordNames)->setChecked(false);
    window->OnDisplayFlagToggled();
    window->Action(Dlg::kInvert)->setChecked(true);
    window->OnInvert();
    window->SetSyncPatternFromEditor("K28.5,D21.5");
    window->OnSyncEnable(true);
    window->Presentation().SetRefLevelP("40");
    TheTriggerSetup().triggerOnSelection = 3;
    TheTriggerSetup().editPattern = "x0101";
    TheTriggerSetup().charName[1] = "D21.5";
    const TriggerSetup saved = TheTriggerSetup();
    const std::string path = SetupPath("mine.ini");
    ASSERT_TRUE(window->SaveSetup(path));
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("[Main]\r\nData Source=2\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SyncPattern=K28.5,D21.5\r\n"), std::string::npos);

    // A fresh window starts from the default setup; the recall brings everything back.
    window.reset();
    TheTriggerSetup() = TriggerSetup();
    window = std::make_unique<CKestravaDlg>(instrument);
    window->WaitForDecode();
    EXPECT_EQ(window->DataSourceIndex(), 0);
    instrument.calls.clear();
    ASSERT_TRUE(window->RecallSetup(path));
    window->WaitForDecode();
    EXPECT_EQ(window->DataSourceList()->currentIndex(), 2);
    EXPECT_EQ(instrument.calls, (std::vector<std::string>{"trigger source 2", "display 2"}));
    EXPECT_EQ(window->DisplayState(), 2);
    EXPECT_TRUE(window->Action(Dlg::kViewProtocol)->isChecked());
    EXPECT_TRUE(window->Action(Dlg::kFis)->isChecked());
    EXPECT_TRUE(window->Action(Dlg::kGridAndLevels)->isChecked());
    EXPECT_FALSE(window->Action(Dlg::kWordNames)->isChecked());
    EXPECT_TRUE(window->Action(Dlg::kInvert)->isChecked());
    EXPECT_EQ(window->Presentation().GetInvert(), 1);
    EXPECT_EQ(window->SyncPatternList()->currentText(), "K28.5,D21.5");
    EXPECT_TRUE(window->SyncEnableBox()->isChecked());
    EXPECT_TRUE(window->SyncPatternList()->isEnabled());
    EXPECT_EQ(window->MidRefField()->text(), "40 %");
    EXPECT_EQ(TheTriggerSetup(), saved);
    EXPECT_EQ(window->StatusBox()->toPlainText().toStdString().find("Unknown Error"),
              std::string::npos);
}

TEST_F(SetupWindowTest, MissingFileChangesNothing) {
    window->DataSourceList()->setCurrentIndex(1);
    EXPECT_FALSE(window->RecallSetup(SetupPath("absent.ini")));
    EXPECT_EQ(window->DataSourceList()->currentIndex(), 1);
}

TEST_F(SetupWindowTest, OutOfRangeIndexesKeepTheSelection) {
    const std::string path = SetupPath("odd.ini");
    WriteFile(path, "[Main]\r\nData Source=40\r\nSerial Standard=-3\r\nDisplay Window=7\r\n");
    instrument.calls.clear();
    ASSERT_TRUE(window->RecallSetup(path));
    window->WaitForDecode();
    EXPECT_EQ(window->DataSourceList()->currentIndex(), 0);
    EXPECT_EQ(window->StandardList()->currentText(), "Sata");
    EXPECT_EQ(window->DisplayState(), 1);
    EXPECT_TRUE(instrument.calls.empty());
}

// The shipped file is what Save Setup writes from a window with its start-up defaults,
// and a recall of it at start-up leaves those defaults as they were.
TEST_F(SetupWindowTest, ShippedDefaultSetupHoldsTheStartUpDefaults) {
    EXPECT_EQ(window->DefaultSetupPath(), Folders::Join(Folders::InstallFolder(), "default.ini"));
    const std::string path = SetupPath("fresh.ini");
    ASSERT_TRUE(window->SaveSetup(path));
    EXPECT_EQ(ReadFile(path), ReadFile(SourceDir() + "/data/default.ini"));
    EXPECT_EQ(TheTriggerSetup(), TriggerSetup());
}

TEST_F(SetupWindowTest, SetupFolderCheckReplacesAFileByAFolder) {
    const std::string folder = Folders::DataFolder("Setup");
    std::filesystem::remove_all(folder);
    WriteFile(folder, "not a folder");
    EXPECT_TRUE(window->SaveSetup(SetupPath("after.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::exists(SetupPath("after.ini")));
}

}  // namespace
}  // namespace kestrava::test

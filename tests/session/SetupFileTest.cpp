// Setup files: save and recall of both sections, the acceptance rules of "Trigger", the
// replayed selections and trigger re-send, and files written by hand on Windows.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "definition/CMacros.h"
#include "instrument/SerialTrigger.h"
#include "session/CSataUserInterface.h"
#include "session/SetupFile.h"
#include "tests/support/TempFolders.h"
#include "tools/kestrava-decode/DecodeCommand.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

class RecordingLink : public ITriggerLink {
  public:
    int OpenConnection() override { return 1; }
    int CloseConnection(bool) override { return 1; }
    int Write(const std::string& command) override {
        sent.push_back(command);
        return 1;
    }
    int Read(std::string& reply) override {
        reply.clear();
        return 1;
    }
    Lines sent;
};

class SetupFileTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        ui_ = std::make_unique<CSataUserInterface>(mainList_, highList_);
        target_ = std::make_unique<BasicSetupTarget>(*ui_, &link_, 6.25e9);
        path_ = Root() + "/setup.ini";
    }
    void TearDown() override {
        target_.reset();
        ui_.reset();
        TempFolders::TearDown();
    }
    int IndexOf(const std::string& title) const {
        const auto& t = target_->Standards();
        return static_cast<int>(std::find(t.begin(), t.end(), title) - t.begin());
    }

    MemoryListBox mainList_, highList_;
    RecordingLink link_;
    std::unique_ptr<CSataUserInterface> ui_;
    std::unique_ptr<BasicSetupTarget> target_;
    std::string path_;
};

TEST_F(SetupFileTest, SaveThenRecallRestoresEveryKeyOfBothSections) {
    target_->SelectDataSource(6);
    target_->SelectSerialStandard(IndexOf("PCIExpress"));
    target_->SetDisplayWindow(3);
    target_->SetDataFilter(2);
    target_->SetAlwaysOnTop(true);
    target_->SetSyncEnableFlag(1);
    ui_->view.wordNames = false;
    ui_->view.samplePoints = false;
    ui_->view.recoveredSignal = false;
    ui_->view.originalSignal = false;
    ui_->view.gridAndLevels = true;
    ui_->SetInvert(1);
    ui_->SetLockSampler(1);
    ui_->SetRefLevelP("37");
    ui_->SetHysterisisP("12");
    ui_->SetRefLevelAbs("0.125");
    ui_->SetHysterisisAbs("0.040");
    ui_->SetIsAuto50Percent(1);
    ui_->SetIsAbsRefLevel(1);
    ui_->SetSyncPattern("K28.3,D21.5");
    TriggerSetup saved;
    saved.IsValidCharSelected = 0;
    saved.IsSpecificCharSelected = 1;
    saved.IsWordSelected = 0;
    saved.IsBitSelected = 1;
    saved.IsCharSelected = 0;
    saved.editPattern = "x0x1";
    saved.rdPlus = {"1111100000", "xxxxxxxxxx", "0000011111", "1010101010"};
    saved.rdMinus = {"0101010101", "1100110011", "XXXXXXXXXX", "0011001100"};
    saved.charName = {"K28.3", "D21.5", "D22.1", "D23.2"};
    saved.formatSelection = 1;
    saved.patternSelection = 2;
    saved.wordSelection = 3;
    saved.triggerOnSelection = 1;
    saved.bLossofByteSync = 1;
    ASSERT_TRUE(SaveSetting(path_, *ui_, *target_, saved));

    const std::string text = ReadFile(path_);
    EXPECT_EQ(text.rfind("[Main]\r\nData Source=6\r\nSerial Standard=0\r\nDisplay Window=3\r\n", 0),
              0u)
        << text;
    EXPECT_NE(text.find("RefLevelAbs=125\r\nHysterisisAbs=40\r\n"), std::string::npos);
    EXPECT_NE(text.find("rdMinus4=0011001100\r\nchar1=K28.3\r\n"), std::string::npos);
    EXPECT_LT(text.find("[Main]"), text.find("[Trigger]"));
    EXPECT_EQ(text.substr(text.size() - 19), "bLossofByteSync=1\r\n");

    MemoryListBox mainList, highList;
    CSataUserInterface ui(mainList, highList);
    RecordingLink link;
    BasicSetupTarget target(ui, &link, 6.25e9);
    TriggerSetup recalled;
    ASSERT_TRUE(RecallSetting(path_, ui, target, recalled));
    EXPECT_EQ(recalled, saved);
    EXPECT_EQ(target.DataSourceIndex(), 6);
    EXPECT_EQ(ui.GetSource(), 6);
    EXPECT_EQ(target.StandardTitle(), "PCIExpress");
    EXPECT_EQ(TheMacros()->triggerStandard, "PCIExpress");
    EXPECT_EQ(target.DisplayWindowState(), 3);
    EXPECT_EQ(ui.highLevelKind, 2);
    EXPECT_EQ(target.AlwaysOnTop(), 1);
    EXPECT_EQ(target.SyncEnableFlag(), 1);
    EXPECT_TRUE(ui.GetSyncPatternEnabled());
    EXPECT_FALSE(ui.view.wordNames || ui.view.samplePoints || ui.view.recoveredSignal ||
                 ui.view.originalSignal);
    EXPECT_TRUE(ui.view.gridAndLevels);
    EXPECT_EQ(ui.GetInvert(), 1);
    EXPECT_EQ(ui.GetLockSampler(), 1);
    EXPECT_EQ(ui.GetRefLevelP(), "37");
    EXPECT_EQ(ui.GetHysterisisP(), "12");
    EXPECT_EQ(ui.GetRefLevelAbs(), "0.125");
    EXPECT_EQ(ui.GetHysterisisAbs(), "0.040");
    EXPECT_EQ(ui.GetIsAuto50Percent(), 1);
    EXPECT_EQ(ui.GetIsAbsRefLevel(), 1);
    EXPECT_EQ(ui.GetSyncPattern(), "K28.3,D21.5");

    // Saving the recalled state again writes the same file.
    ASSERT_TRUE(SaveSetting(Root() + "/again.ini", ui, target, recalled));
    EXPECT_EQ(ReadFile(Root() + "/again.ini"), text);
    EXPECT_EQ(text.find("Data Filter Frames"), std::string::npos);

    // The frames list is kept beside the filter key, which keeps the values it always had.
    target.SetDataFilter(kFramesList);
    ASSERT_TRUE(SaveSetting(Root() + "/frames.ini", ui, target, recalled));
    const std::string frames = ReadFile(Root() + "/frames.ini");
    EXPECT_NE(frames.find("Data Filter=0\r\n"), std::string::npos);
    EXPECT_NE(frames.find("Data Filter Frames=1\r\n"), std::string::npos);
    ASSERT_TRUE(RecallSetting(path_, ui, target, recalled));
    EXPECT_EQ(ui.highLevelKind, 2);
    ASSERT_TRUE(RecallSetting(Root() + "/frames.ini", ui, target, recalled));
    EXPECT_EQ(ui.highLevelKind, kFramesList);
}

TEST_F(SetupFileTest, MillivoltsBothWays) {
    ui_->SetRefLevelAbs("0.0995");
    ui_->SetHysterisisAbs("-0.0305");
    ASSERT_TRUE(SaveSetting(path_, *ui_, *target_));
    const std::string text = ReadFile(path_);
    EXPECT_NE(text.find("RefLevelAbs=99\r\n"), std::string::npos);
    EXPECT_NE(text.find("HysterisisAbs=-30\r\n"), std::string::npos);

    WriteFile(path_, "[Main]\nRefLevelAbs=1234\nHysterisisAbs=5\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
    EXPECT_EQ(ui_->GetRefLevelAbs(), "1.234");
    EXPECT_EQ(ui_->GetHysterisisAbs(), "0.005");
}

TEST_F(SetupFileTest, TriggerKeysOutsideTheirRulesKeepThePresets) {
    WriteFile(path_,
              "[Trigger]\n"
              "IsWordSelected=0\nIsBitSelected=0\nIsCharSelected=0\n"
              "IsValidCharSelected=0\nIsSpecificCharSelected=0\n"
              "editPattern=101010101010101010101010101010101010101011111\n"  // 45 digits
              "rdPlus1=01100110011\n"                                        // 11: last 10 kept
              "rdPlus2=0110210011\n"                                         // not binary
              "rdMinus1=011001100111\n"                                      // 12: too long
              "char1=K28\nchar2=D10.2.3.4\nchar3=D1.1\nchar4=\n"
              "formatSelection=12345\npatternSelection= 2x\n8B10BwordSelection=\n");
    TriggerSetup r;
    r.triggerOnSelection = 3;  // a missing key is preset, not kept from before
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_, r));
    const TriggerSetup preset;
    EXPECT_EQ(r.IsWordSelected, 1);
    EXPECT_EQ(r.IsSpecificCharSelected, 1);
    EXPECT_EQ(r.editPattern,
              std::string("101010101010101010101010101010101010101011111").substr(5));
    EXPECT_EQ(r.rdPlus[0], "1100110011");
    EXPECT_EQ(r.rdPlus[1], preset.rdPlus[1]);
    EXPECT_EQ(r.rdMinus[0], preset.rdMinus[0]);
    EXPECT_EQ(r.charName, (std::array<std::string, 4>{"K28.5", "D10.2", "D1.1", "D27.3"}));
    EXPECT_EQ(r.formatSelection, 0);
    EXPECT_EQ(r.patternSelection, 2);
    EXPECT_EQ(r.wordSelection, 0);  // present but empty: converts to 0
    EXPECT_EQ(r.triggerOnSelection, 0);
    EXPECT_EQ(r.IsValidCharSelected, 0);

    WriteFile(path_, "[Trigger]\neditPattern=" + std::string(50, '1') + "\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_, r));
    EXPECT_EQ(r.editPattern, preset.editPattern);
    WriteFile(path_, "[Trigger]\neditPattern=1F\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_, r));
    EXPECT_EQ(r.editPattern, "1F");
}

TEST_F(SetupFileTest, RecallReplaysSelectionsAndResendsTheTrigger) {
    WriteFile(path_, "[Main]\nData Source=2\nSerial Standard=" + std::to_string(IndexOf("Sata")) +
                         "\n[Trigger]\ntriggerOnSelection=2\n");
    TriggerSetup r;
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_, r));
    const Lines& sent = link_.sent;
    ASSERT_EQ(sent.size(), 1u + 6u + 6u + 8u);
    EXPECT_EQ(sent[0], "Trigger:A:Serial:Source CH3");
    EXPECT_EQ(sent[6], "TRIGger:A:SERIal:BitRate 1.5E9");  // the standard's trigger defaults
    EXPECT_EQ(sent[7], "TRIGger:A:SERIal:STANdard SATA");
    // Code error with no error flag saved: the disparity condition.
    EXPECT_EQ(sent[19], "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5");

    // Above the instrument maximum nothing of the trigger is sent.
    RecordingLink slow;
    BasicSetupTarget target(*ui_, &slow, 1.0e9);
    ASSERT_TRUE(RecallSetting(path_, *ui_, target, r));
    EXPECT_EQ(slow.sent, Lines{"Trigger:A:Serial:Source CH3"});
}

TEST_F(SetupFileTest, IndexesOutsideTheirListsAndMissingKeys) {
    target_->SelectDataSource(3);
    target_->SetDisplayWindow(2);
    ui_->highLevelKind = 1;
    ui_->SetRefLevelP("42");
    const int standard = target_->SerialStandardIndex();
    WriteFile(path_,
              "[Main]\nData Source=40\nSerial Standard=99\nDisplay Window=7\nData Filter=5\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
    EXPECT_EQ(target_->DataSourceIndex(), 3);
    EXPECT_EQ(target_->SerialStandardIndex(), standard);
    EXPECT_EQ(target_->DisplayWindowState(), 2);
    EXPECT_EQ(ui_->highLevelKind, 0);
    EXPECT_EQ(ui_->GetRefLevelP(), "42");  // missing: kept

    EXPECT_FALSE(RecallSetting(Root() + "/none.ini", *ui_, *target_));
    EXPECT_FALSE(SaveSetting(Root() + "/no/such/folder/x.ini", *ui_, *target_));
}

// A file keeps the standard's title beside its index, and recall goes by the title; an
// index alone means what it meant with the two shipped definitions.
TEST_F(SetupFileTest, TheStandardsTitleWinsOverItsIndex) {
    target_->SelectSerialStandard(IndexOf("SAS"));
    ASSERT_TRUE(SaveSetting(path_, *ui_, *target_));
    const std::string text = ReadFile(path_);
    EXPECT_NE(text.find("Serial Standard=4\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("CheckBox SyncPattern=0\r\nSerial Standard Title=SAS\r\n"),
              std::string::npos);

    struct Case {
        std::string main;
        const char* standard;
        const char* trigger;  // the loaded definition's trigger standard
    };
    for (const Case& c : {
             Case{"Serial Standard=1\n", "Sata", "SATA"},
             Case{"Serial Standard=0\n", "PCIExpress", "PCIExpress"},
             Case{"Serial Standard=2\n", "JESD204B", "JESD204B"},
             Case{"Serial Standard=1\nSerial Standard Title=USB3Gen1\n", "USB3Gen1", "USB3"},
             Case{"Serial Standard Title=FibreChannel\n", "FibreChannel", "FIBRECHANNEL"},
             Case{"Serial Standard=0\nSerial Standard Title=Gone\n", "PCIExpress", "PCIExpress"},
             // Neither names a listed standard: the selection stays.
             Case{"Serial Standard=99\nSerial Standard Title=Gone\n", "PCIExpress", "PCIExpress"},
         }) {
        SCOPED_TRACE(c.main);
        WriteFile(path_, "[Main]\n" + c.main);
        ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
        EXPECT_EQ(target_->StandardTitle(), c.standard);
        EXPECT_EQ(TheMacros()->triggerStandard, c.trigger);
    }
}

TEST_F(SetupFileTest, FlagsOtherThanOneRecallAsOff) {
    WriteFile(path_,
              "[Main]\nWordNames=1\nSamplePoints=2\nRecovSig=-1\nOrigSig=1\nGridLines=7\n"
              "InvertSignal=2\nLockSampler=2\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
    EXPECT_TRUE(ui_->view.wordNames);
    EXPECT_FALSE(ui_->view.samplePoints);
    EXPECT_FALSE(ui_->view.recoveredSignal);
    EXPECT_TRUE(ui_->view.originalSignal);
    EXPECT_FALSE(ui_->view.gridAndLevels);
    EXPECT_EQ(ui_->GetInvert(), 0);
    EXPECT_EQ(ui_->GetLockSampler(), 0);
}

TEST_F(SetupFileTest, SyncPatternLookedUpByPrefixOrAdded) {
    target_->SelectSerialStandard(IndexOf("Sata"));
    WriteFile(Folders::Join(Folders::DataFolder("UserPattern"), "Sata.csv"),
              "K28.5 K28.3,D21.5\nD10.2");
    const std::string select = "[Main]\nSerial Standard=" + std::to_string(IndexOf("Sata")) + "\n";
    WriteFile(path_, select + "SyncPattern=k28.3\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
    EXPECT_EQ(target_->SyncPatternEntries(), (Lines{"K28.5", "K28.3,D21.5", "D10.2"}));
    EXPECT_EQ(target_->SelectedSyncPattern(), 1);
    EXPECT_EQ(ui_->GetSyncPattern(), "k28.3");

    WriteFile(path_, select + "SyncPattern=D21.4\n");
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_));
    EXPECT_EQ(target_->SyncPatternEntries().back(), "D21.4");
    EXPECT_EQ(target_->SelectedSyncPattern(), 3);

    // A standard without a user pattern file gets one holding K28.5.
    target_->SelectSerialStandard(IndexOf("PCIExpress"));
    EXPECT_EQ(ReadFile(Folders::Join(Folders::DataFolder("UserPattern"), "PCIExpress.csv")),
              "K28.5");
    EXPECT_EQ(ui_->GetSyncPattern(), "K28.5");
}

TEST_F(SetupFileTest, HandWrittenWindowsFileRecallsAndKeepsItsOtherLines) {
    const std::string head =
        "; written by hand\r\n"
        "[Extra]\r\n"
        "Keep=this one\r\n"
        "\r\n"
        "[main]\r\n"
        "  data source = 1 \r\n"
        "REFLEVELP=40\r\n"
        "; the hysteresis\r\n"
        "hysterisisp=15\r\n"
        "Unknown=7\r\n";
    const std::string tail =
        "[TRIGGER]\r\n"
        "TriggerOnSelection=3\r\n"
        "EDITPATTERN=x1x0\r\n"
        "[After]\r\n"
        "Other=1\r\n";
    WriteFile(path_, head + tail);
    TriggerSetup r;
    ASSERT_TRUE(RecallSetting(path_, *ui_, *target_, r));
    EXPECT_EQ(target_->DataSourceIndex(), 1);
    EXPECT_EQ(ui_->GetRefLevelP(), "40");
    EXPECT_EQ(ui_->GetHysterisisP(), "15");
    EXPECT_EQ(r.triggerOnSelection, 3);
    EXPECT_EQ(r.editPattern, "x1x0");

    ASSERT_TRUE(SaveSetting(path_, *ui_, *target_, r));
    const std::string text = ReadFile(path_);
    // Everything before our keys, our keys in their own spelling, and the sections after
    // stay as they were.
    EXPECT_EQ(text.rfind(
                  "; written by hand\r\n[Extra]\r\nKeep=this one\r\n\r\n[main]\r\ndata source=1\r\n"
                  "REFLEVELP=40\r\n; the hysteresis\r\nhysterisisp=15\r\nUnknown=7\r\n",
                  0),
              0u)
        << text;
    EXPECT_NE(text.find("[TRIGGER]\r\nTriggerOnSelection=3\r\nEDITPATTERN=x1x0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("[After]\r\nOther=1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(text.find("[Main]"), std::string::npos);  // no second section
}

TEST_F(SetupFileTest, DecodeCommandRecallsTheSetupFirst) {
    const std::string wfm = SourceDir() + "/data/Waveforms/sata-session.wfm";
    WriteFile(path_, "[Main]\r\nInvertSignal=1\r\n");
    std::ostringstream withSetup, withFlag, err;
    DecodeOptions o;
    o.waveformPath = wfm;
    o.setupPath = path_;
    ASSERT_EQ(RunDecode(o, withSetup, err), kExitOk) << err.str();
    o.setupPath.clear();
    o.invert = true;
    ASSERT_EQ(RunDecode(o, withFlag, err), kExitOk) << err.str();
    EXPECT_EQ(withSetup.str(), withFlag.str());
    EXPECT_FALSE(withSetup.str().empty());

    o.setupPath = Root() + "/missing.ini";
    EXPECT_EQ(RunDecode(o, withSetup, err), kExitUsage);
}

}  // namespace
}  // namespace kestrava::test

// The Trigger Setup dialog against the instrument simulator: what it shows, the field
// rules, and the commands Apply, the error boxes and Close send. Also one Single
// acquisition through the window's instrument.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/CCharacterEntryDlg.h"
#include "app/CKestravaDlg.h"
#include "app/CTriggerSetupDlg.h"
#include "app/CWindowUserInterface.h"
#include "app/ListBoxModel.h"
#include "app/ScopeInstrument.h"
#include "definition/CMacros.h"
#include "instrument/AcquisitionMode.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TriggerSimFixture.h"

namespace kestrava::test {
namespace {

using Dlg = CTriggerSetupDlg;
using Lines = std::vector<std::string>;

class TriggerDialogTest : public TriggerSimTest {
  protected:
    void SetUp() override {
        TriggerSimTest::SetUp();
        EnsureApplication();
        SetMessageBoxSink(&messages);
        macros_.LoadMacros(Folders::Join(Folders::DataFolder("Macros"), "Sata.csv"));
        previousMacros_ = TheMacros();
        SetTheMacros(&macros_);
        record_ = TriggerSetup();
    }
    void TearDown() override {
        SetTheMacros(previousMacros_);
        SetMessageBoxSink(nullptr);
        TriggerSimTest::TearDown();
    }
    std::unique_ptr<Dlg> Open(double maximum = 1e11, ITriggerLink* link = nullptr) {
        return std::make_unique<Dlg>(link ? link : &link_, "CH1", maximum, nullptr, record_);
    }
    static bool Contains(const Lines& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static QLineEdit* Field(Dlg& d, int id) { return static_cast<QLineEdit*>(d.Control(id)); }

    RecordingMessageBox messages;
    CMacros macros_;
    CMacros* previousMacros_ = nullptr;
    TriggerSetup record_;
};

TEST_F(TriggerDialogTest, OpensOnTheWordWithTheRecordedRows) {
    auto d = Open();
    EXPECT_FALSE(d->ClosedAtOnce());
    auto* words = static_cast<QComboBox*>(d->Control(Dlg::kWordList));
    EXPECT_EQ(words->itemText(0), "ALIGN");
    EXPECT_TRUE(static_cast<QRadioButton*>(d->Control(Dlg::kWordRadio))->isChecked());
    EXPECT_EQ(Field(*d, Dlg::kRdPlus1 + 3)->text(), "1101100011");
    EXPECT_EQ(Field(*d, Dlg::kRdMinus1 + 3)->text(), "0010011100");
    EXPECT_EQ(static_cast<QPushButton*>(d->Control(Dlg::kChar1))->text(), "K28.5");
    EXPECT_FALSE(d->Control(Dlg::kRdPlus1)->isEnabled());
    EXPECT_FALSE(d->Control(Dlg::kChar1)->isEnabled());
    EXPECT_TRUE(d->Control(Dlg::kFormatList)->isHidden());
    EXPECT_TRUE(d->Control(Dlg::kCharacterError)->isHidden());
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TriggerDialogTest, WithoutFourWordPrimitiveItClosesAtOnce) {
    WriteFile(Folders::Join(Folders::DataFolder("Macros"), "Short.csv"),
              "Short\nENCODING,8b10b.csv\nTRIGGER_STANDARD,SHORT\nCOLLECTION_START,SHORT\n"
              "SYNC,K28.5\nCOLLECTION_END\n");
    CMacros shortOne;
    shortOne.LoadMacros(Folders::Join(Folders::DataFolder("Macros"), "Short.csv"));
    SetTheMacros(&shortOne);
    auto d = Open();
    EXPECT_TRUE(d->ClosedAtOnce());
    EXPECT_EQ(static_cast<QComboBox*>(d->Control(Dlg::kWordList))->itemText(0),
              "Unknown Primitive");
    EXPECT_EQ(d->exec(), QDialog::Rejected);
    SetTheMacros(&macros_);
}

TEST_F(TriggerDialogTest, RdFieldsTakeBinaryDigitsAndRefuseAnEleventh) {
    auto d = Open();
    d->SelectEditMode(Dlg::kBitRadio);
    EXPECT_TRUE(d->Control(Dlg::kRdPlus1)->isEnabled());
    EXPECT_FALSE(d->Control(Dlg::kWordList)->isEnabled());
    d->EditRdField(Dlg::kRdPlus1, "01201x");
    EXPECT_EQ(Field(*d, Dlg::kRdPlus1)->text(), "0101x");
    EXPECT_EQ(d->Values().rdPlus[0], "0101x");
    EXPECT_TRUE(messages.texts.empty());
    d->EditRdField(Dlg::kRdMinus1 + 2, "01010101010");
    ASSERT_EQ(messages.texts, (std::vector<std::string>{"Invalid Bin entry"}));
    EXPECT_EQ(messages.captions[0], "KORVAN");
    EXPECT_EQ(Field(*d, Dlg::kRdMinus1 + 2)->text(), "0101010101");
    EXPECT_EQ(d->Values().rdMinus[2], "0101010101");
}

TEST_F(TriggerDialogTest, ApplySendsThePatternOfTheShownFieldsAndStoresNothing) {
    auto d = Open();
    d->SelectEditMode(Dlg::kBitRadio);
    d->EditRdField(Dlg::kRdPlus1, "0011111010");
    const TriggerPatterns expected = ComposeTriggerPatterns(d->Values().PatternInputs());
    d->Apply();
    const Lines sent = Sent();
    EXPECT_TRUE(Contains(sent, "Trigger:A:Serial:Source CH1"));
    EXPECT_TRUE(Contains(sent, "TRIGger:A:SERIAL:SERDes:PATtern 0,\"" + expected.pattern0 + "\""))
        << expected.pattern0;
    EXPECT_TRUE(Contains(sent, "TRIGger:A:SERIAL:SERDes:PATtern 1,\"" + expected.pattern1 + "\""));
    EXPECT_NE(expected.pattern0.find("0011111010"), std::string::npos);
    EXPECT_EQ(record_, TriggerSetup());
}

TEST_F(TriggerDialogTest, CloseStoresAndSendsOnlyWithinTheMaximumBitRate) {
    auto slow = Open(1.0);
    slow->SelectTriggerOn(3);
    slow->CloseDialog();
    EXPECT_EQ(record_, TriggerSetup());
    EXPECT_TRUE(Sent().empty());

    auto d = Open();
    d->SelectTriggerOn(3);
    d->ClearPattern();
    d->PressKey("1");
    d->PressKey("X");
    d->CloseDialog();
    EXPECT_EQ(record_.triggerOnSelection, 3);
    EXPECT_EQ(record_.editPattern, "1x");
    EXPECT_FALSE(Sent().empty());
}

TEST_F(TriggerDialogTest, ErrorBoxesExcludeEachOtherAndSendTheirCondition) {
    auto d = Open();
    d->SelectTriggerOn(2);
    EXPECT_TRUE(Contains(Sent(), "TRIGger:A:SERIAL:SERDes:PATtern 0,\"X1X\""));
    d->ClickErrorBox(Dlg::kCharacterError);
    Sent();
    d->ClickErrorBox(Dlg::kDisparityError);
    EXPECT_FALSE(static_cast<QCheckBox*>(d->Control(Dlg::kCharacterError))->isChecked());
    EXPECT_TRUE(static_cast<QCheckBox*>(d->Control(Dlg::kDisparityError))->isChecked());
    const Lines sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(Contains(sent, "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5"));
    EXPECT_FALSE(Contains(sent, "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,4"));
    // Clicking the set box again clears it and sends the base sequence alone.
    d->ClickErrorBox(Dlg::kDisparityError);
    EXPECT_FALSE(static_cast<QCheckBox*>(d->Control(Dlg::kDisparityError))->isChecked());
    EXPECT_FALSE(Contains(Sent(), "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5"));
}

TEST_F(TriggerDialogTest, PatternAndFormatChooseWhatIsShown) {
    auto d = Open();
    d->SelectPattern(1);
    EXPECT_FALSE(d->Control(Dlg::kRdPlus1)->isVisibleTo(d.get()));
    EXPECT_TRUE(d->Control(Dlg::kRdMinus1)->isVisibleTo(d.get()));
    d->SelectTriggerOn(1);
    EXPECT_TRUE(static_cast<QRadioButton*>(d->Control(Dlg::kSpecificRadio))->isChecked());
    EXPECT_TRUE(d->Control(Dlg::kChar1)->isVisibleTo(d.get()));
    EXPECT_FALSE(d->Control(Dlg::kChar1 + 1)->isVisibleTo(d.get()));
    d->SelectCharacterChoice(Dlg::kAnyValidRadio);
    EXPECT_FALSE(d->Control(Dlg::kChar1)->isEnabled());
    d->SelectTriggerOn(3);
    d->SelectFormat(1);
    EXPECT_FALSE(d->Key("X", false)->isVisibleTo(d.get()));
    EXPECT_TRUE(d->Key("F", true)->isVisibleTo(d.get()));
}

TEST_F(TriggerDialogTest, KeypadRules) {
    auto d = Open();
    d->SelectTriggerOn(3);
    d->SelectFormat(1);
    d->ClearPattern();
    for (const char* key : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}) d->PressKey(key);
    d->PressKey("A");  // an eleventh hex digit is refused
    EXPECT_EQ(Field(*d, Dlg::kPatternField)->text(), "0123456789");
    d->Home();
    d->Backspace();  // removes the last digit wherever the caret is
    EXPECT_EQ(d->Values().editPattern, "012345678");

    d->SelectFormat(0);
    d->ClearPattern();
    d->PressKey("1");
    d->PressKey("0");
    d->Home();
    d->PressKey("X");
    d->CaretRight();
    d->PressKey("1");
    EXPECT_EQ(d->Values().editPattern, "x110");
}

TEST_F(TriggerDialogTest, CharButtonTakesTheEnteredCharacterAndRecomputesTheRows) {
    auto d = Open();
    d->SelectEditMode(Dlg::kCharacterRadio);
    d->runCharacterEntry = [](CCharacterEntryDlg&) {
        TheEnteredCharacter().text = QStringLiteral("K28.3");
    };
    d->ChooseCharacter(0);
    EXPECT_EQ(d->Values().charName[0], "K28.3");
    EXPECT_EQ(Field(*d, Dlg::kRdPlus1)->text(), "1100001100");
    d->runCharacterEntry = [](CCharacterEntryDlg&) {};  // leaves "X": nothing changes
    d->ChooseCharacter(1);
    EXPECT_EQ(d->Values().charName[1], "D10.2");
}

TEST_F(TriggerDialogTest, WithoutAnInstrumentApplyEndsTheDialog) {
    auto d = std::make_unique<Dlg>(nullptr, "CH1", 1e11, nullptr, record_);
    d->Apply();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_TRUE(Sent().empty());
}

// Single acquires a record from the simulator and decodes it; the mode stays 1.
TEST_F(TriggerDialogTest, SingleAcquiresFromTheInstrument) {
    ScopeInstrument instrument(TheOscilloscope());
    CKestravaDlg window(instrument);
    window.WaitForDecode();
    window.OnSingle();
    window.WaitForDecode();
    EXPECT_EQ(AcquisitionMode(), kAcquireSingleSequence);
    EXPECT_GT(window.CharactersModel().Count(), 0);
    EXPECT_EQ(window.StatusBox()->toPlainText().toStdString().find("Unknown Error"),
              std::string::npos);
}

// No instrument answers: the window starts, probes no rate, sends nothing and still
// decodes files.
TEST_F(TriggerDialogTest, WithoutAnInstrumentTheWindowStillDecodesFiles) {
    TheOscilloscope().CloseConnection(true);
    kvClearAliases();
    ScopeInstrument instrument(TheOscilloscope());
    CKestravaDlg window(instrument);
    window.WaitForDecode();
    EXPECT_FALSE(TheOscilloscope().Connected());
    EXPECT_EQ(window.MaximumBitRate(), 0.0);
    window.LoadWaveformFile(SourceDir() + "/data/Waveforms/sata-session.wfm");
    window.WaitForDecode();
    EXPECT_GT(window.CharactersModel().Count(), 100);
    EXPECT_TRUE(sim_.Journal().empty());
}

}  // namespace
}  // namespace kestrava::test

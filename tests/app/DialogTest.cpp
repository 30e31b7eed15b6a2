// Validation rules of the threshold, character entry, sync pattern and About dialogs.
#include <memory>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "app/CAboutDlg.h"
#include "app/CCharacterEntryDlg.h"
#include "app/CSyncPatternDlg.h"
#include "app/CThresholdDlg.h"
#include "app/FileDialog.h"
#include "app/SingleInstance.h"
#include "base/Folders.h"
#include "definition/CMacros.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

const char* const kPercentMessage = "Enter a value between 0 and  100 for Mid Ref and Hysteresis";
const char* const kAbsoluteMessage =
    "Enter a value between -10000 and +10000 for Mid Ref and Hysteresis";

class ThresholdDialogTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        dialog = std::make_unique<CThresholdDlg>();
        dialog->percentMidRef = "50";
        dialog->percentHysteresis = "20";
        dialog->absoluteMidRef = "0.0";
        dialog->absoluteHysteresis = "0.03";
        dialog->maximumVolts = 0.4f;
        dialog->minimumVolts = -0.4f;
        dialog->InitDialog();
    }
    // Enters both texts and presses OK; true when the dialog closed with OK.
    bool Submit(const QString& midRef, const QString& hysteresis) {
        dialog->setResult(0);
        dialog->MidRefField()->setText(midRef);
        dialog->HysteresisField()->setText(hysteresis);
        dialog->accept();
        return dialog->result() == QDialog::Accepted;
    }
    std::unique_ptr<CThresholdDlg> dialog;
};

TEST_F(ThresholdDialogTest, PercentageModeAcceptsZeroToHundredOnly) {
    EXPECT_EQ(dialog->MaximumField()->text(), "0.40000");
    EXPECT_TRUE(Submit("50", "12.5"));
    EXPECT_EQ(dialog->percentMidRef, "50");
    EXPECT_EQ(dialog->percentHysteresis, "12.5");
    EXPECT_TRUE(messages.texts.empty());
    for (const char* refused : {"150", "-1", "", "5V", "1-2", "1.2.3"}) {
        messages.texts.clear();
        EXPECT_FALSE(Submit(refused, "10")) << refused;
        ASSERT_EQ(messages.texts.size(), 1u) << refused;
        EXPECT_EQ(messages.texts[0], kPercentMessage);
        EXPECT_EQ(messages.captions[0], "KORVAN");
    }
    // A refusal stores nothing.
    EXPECT_EQ(dialog->percentMidRef, "50");
}

TEST_F(ThresholdDialogTest, AbsoluteModeAcceptsTenThousandVoltsEitherWay) {
    dialog->SetUnitMode(CThresholdDlg::kAbsolute);
    EXPECT_TRUE(Submit("-2.5", "0.05"));
    EXPECT_EQ(dialog->absoluteMidRef, "-2.5");
    EXPECT_TRUE(Submit("-10000", "10000"));
    for (const char* refused : {"20000", "2-5", "-"}) {
        messages.texts.clear();
        EXPECT_FALSE(Submit(refused, "0.1")) << refused;
        ASSERT_EQ(messages.texts.size(), 1u);
        EXPECT_EQ(messages.texts[0], kAbsoluteMessage);
    }
}

TEST_F(ThresholdDialogTest, SwitchingUnitsDropsTypedTextAndShowsResetOnlyInVolts) {
    EXPECT_TRUE(dialog->ResetBox()->isHidden());
    dialog->MidRefField()->setText("77");
    dialog->SetUnitMode(CThresholdDlg::kAbsolute);
    EXPECT_EQ(dialog->MidRefField()->text(), "0.0");
    EXPECT_EQ(dialog->HysteresisField()->text(), "0.03");
    EXPECT_FALSE(dialog->ResetBox()->isHidden());
    dialog->SetUnitMode(CThresholdDlg::kPercentage);
    EXPECT_EQ(dialog->MidRefField()->text(), "50");
    EXPECT_TRUE(dialog->ResetBox()->isHidden());
}

class CharacterDialogTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        macros = std::make_unique<CMacros>();
        SetTheMacros(macros.get());
        macros->LoadMacros(Folders::Join(Folders::DataFolder("Macros"), "Sata.csv"));
        TheEnteredCharacter() = EnteredCharacter{};
        dialog = std::make_unique<CCharacterEntryDlg>();
        dialog->askYesNo = [](const std::string& text) {
            questions.push_back(text);
            return answer;
        };
        questions.clear();
    }
    void TearDown() override {
        dialog.reset();
        SetTheMacros(nullptr);
        macros.reset();
        AppTest::TearDown();
    }
    void Keys(const char* keys) {
        for (const char* key = keys; *key; ++key)
            dialog->PressKey(QString(QChar::fromLatin1(*key)));
    }
    std::unique_ptr<CMacros> macros;
    std::unique_ptr<CCharacterEntryDlg> dialog;
    static inline std::vector<std::string> questions;
    static inline bool answer = true;
};

TEST_F(CharacterDialogTest, NameKeysBuildACharacterAndShowItsValue) {
    Keys("K28");
    EXPECT_EQ(dialog->ValueText(), "xx");
    EXPECT_EQ(dialog->Value(), -1);
    Keys(".5");
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(dialog->CharacterText(), "K28.5");
    const int value = macros->Get8BitValue("K28.5");
    ASSERT_GE(value, 256);
    EXPECT_EQ(dialog->Value(), value);
    EXPECT_EQ(dialog->ValueText(), QString("0x %1").arg(value, 0, 16));
}

TEST_F(CharacterDialogTest, NameKeysOutsideTheGrammarAreRefused) {
    const struct {
        const char* keys;
        const char* kept;
    } cases[] = {{"D35", "D3"}, {"D21.8", "D21."}, {"D215", "D21"}, {"X", ""}, {"D21.56", "D21.5"}};
    for (const auto& c : cases) {
        dialog->ClearEntry();
        messages.texts.clear();
        Keys(c.keys);
        ASSERT_EQ(messages.texts.size(), 1u) << c.keys;
        EXPECT_EQ(messages.texts[0], "Invalid Character entry");
        EXPECT_EQ(dialog->CharacterText(), c.kept) << c.keys;
    }
    EXPECT_TRUE(CCharacterEntryDlg::IsNamePrefix("D31"));
    EXPECT_FALSE(CCharacterEntryDlg::IsNamePrefix("D32"));
}

TEST_F(CharacterDialogTest, HexKeysTakeUpToThreeDigitsBelowFourHundred) {
    dialog->SetFormat(CCharacterEntryDlg::kHexMode);
    Keys("4A");
    EXPECT_EQ(dialog->Value(), 0x4a);
    EXPECT_EQ(dialog->CharacterText(), "D10.2");
    dialog->ClearEntry();
    Keys("190");  // 400 decimal
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Invalid Hex entry");
    EXPECT_EQ(dialog->ValueText(), "19");
    Keys("F");  // 0x19F = 415
    Keys("C");  // 0x19C = 412
    EXPECT_EQ(messages.texts.size(), 3u);
    Keys("0");
    EXPECT_EQ(messages.texts.size(), 4u);
}

TEST_F(CharacterDialogTest, DontCareClosesWithoutAQuestion) {
    dialog->DontCare();
    dialog->CloseDialog();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(TheEnteredCharacter().text, "--");
    EXPECT_EQ(TheEnteredCharacter().value, -2);
}

TEST_F(CharacterDialogTest, ApplyAndCloseWarnAboutAMissingValue) {
    Keys("D21");
    dialog->Apply();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "The character value is not found in the 8B10B table.");
    EXPECT_EQ(TheEnteredCharacter().text, "D21");  // stored all the same
    answer = true;
    dialog->CloseDialog();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    answer = false;
    dialog->CloseDialog();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    answer = true;
}

TEST_F(CharacterDialogTest, ControlSymbolsEnterTheirCharacters) {
    dialog->ControlSymbol("COM");
    EXPECT_EQ(dialog->CharacterText(), "K28.5");
    dialog->ControlSymbol("STP");
    EXPECT_EQ(dialog->CharacterText(), "K27.7");
    EXPECT_EQ(dialog->Value(), macros->Get8BitValue("K27.7"));
    EXPECT_TRUE(messages.texts.empty());
}

class SyncPatternDialogTest : public CharacterDialogTest {};

TEST_F(SyncPatternDialogTest, AcceptsUpToFourKnownNames) {
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5,D10.2,D10.2,D27.3"), "K28.5,D10.2,D10.2,D27.3");
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5"), "K28.5");
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5,D10.2,D10.2,D27.3,K28.5"), "");
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5,X1.1"), "");
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5, D10.2"), "");
    EXPECT_EQ(CSyncPatternDlg::Validate("K28.5,"), "");

    CSyncPatternDlg dialog("K28.5");
    EXPECT_EQ(dialog.Field()->maxLength(), 23);
    dialog.Field()->setText("K28.5,BAD");
    dialog.accept();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Invalid Entry");
    EXPECT_EQ(messages.captions[0], "");
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.Field()->setText("");
    dialog.accept();
    EXPECT_EQ(messages.texts.size(), 1u);  // an empty text does nothing
    dialog.Field()->setText("K28.5,D21.5");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.pattern, "K28.5,D21.5");
}

TEST_F(AppTest, AboutShowsTheTrimmedVersionOrDashes) {
    const std::string path = Root() + "/version.txt";
    WriteFile(path, " 2.4.1\r\n");
    EXPECT_EQ(CAboutDlg::ReadVersionLine(path), "Version 2.4.1");
    EXPECT_EQ(CAboutDlg::ReadVersionLine(Root() + "/missing.txt"), "Version --");
    CAboutDlg dialog(path);
    EXPECT_EQ(dialog.windowTitle(), "About KORVAN");
    EXPECT_EQ(dialog.VersionLine(), "Version 2.4.1");
}

// File dialogs name files by their names only (a file under /proc may block its reader for
// ever) and never start in, or remember, the kernel's or devices' trees.
TEST_F(AppTest, FileDialogsNeverReadWhatTheyListNorStartInSpecialTrees) {
    const std::string path = Root() + "/picture";  // no name to go by: only content tells
    WriteFile(path, std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0'));
    const QString type = NameOnlyIconProvider().type(QFileInfo(QString::fromStdString(path)));
    EXPECT_FALSE(type.contains(QStringLiteral("PNG"))) << type.toStdString();
    for (const std::string special : {"/proc", "/proc/kmsg", "/sys/kernel", "/dev/null"}) {
        EXPECT_EQ(FileDialog::Rememberable(special), "") << special;
        EXPECT_EQ(FileDialog(nullptr, {}, special, {}).directory().absolutePath(), QDir::homePath())
            << special;
    }
    EXPECT_EQ(FileDialog::Rememberable(Root() + "/a.txt"), Root() + "/a.txt");
    EXPECT_EQ(FileDialog::Rememberable("/process/a.txt"), "/process/a.txt");
}

// A second start hands its file to the running window ("open with" from a file manager);
// a start without one only raises it.
TEST_F(AppTest, ASecondStartHandsItsFileToTheRunningWindow) {
    const QString name = QStringLiteral("kestrava-test-%1").arg(QCoreApplication::applicationPid());
    QWidget window;
    SingleInstance running(name);
    running.Listen(&window);
    QSignalSpy opened(&running, &SingleInstance::openRequested);
    SingleInstance later(name);
    ASSERT_TRUE(later.RaiseRunning(QStringLiteral("/data/two words.wfm")));
    ASSERT_TRUE(opened.wait(2000));
    EXPECT_EQ(opened.at(0).at(0).toString(), "/data/two words.wfm");
    ASSERT_TRUE(later.RaiseRunning());
    QTest::qWait(200);
    EXPECT_EQ(opened.size(), 1);
}

}  // namespace
}  // namespace kestrava::test

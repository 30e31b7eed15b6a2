// The trigger-setup record and the dialog's logic without widgets: code rows, the store
// on "Close", the re-send of a saved trigger and a stored error kind.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/ProfileFile.h"
#include "definition/CMacros.h"
#include "session/TriggerSetup.h"
#include "tests/support/TriggerSimFixture.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;
using Row = std::array<std::string, 4>;

class TriggerSetupTest : public TriggerSimTest {
  protected:
    void SetUp() override {
        TriggerSimTest::SetUp();
        macros_.LoadMacros(Folders::Join(Folders::DataFolder("Macros"), "Sata.csv"));
        ASSERT_FALSE(macros_.fourWordPrimitives.empty());
    }
    CMacros macros_;
};

TEST_F(TriggerSetupTest, RowsFollowTheRunningDisparityOfEachRow) {
    TriggerRows rows = RowsFromCharacters(macros_, {"K28.5", "D10.2", "D10.2", "D27.3"});
    EXPECT_EQ(rows.rdPlus, (Row{"1100000101", "0101010101", "0101010101", "1101100011"}));
    EXPECT_EQ(rows.rdMinus, (Row{"0011111010", "0101010101", "0101010101", "0010011100"}));

    // The primitive ALIGN is the same word.
    std::optional<TriggerRows> align = RowsFromWord(macros_, 0);
    ASSERT_TRUE(align);
    EXPECT_EQ(align->names, (Row{"K28.5", "D10.2", "D10.2", "D27.3"}));
    EXPECT_EQ(align->rdPlus, rows.rdPlus);
    EXPECT_EQ(align->rdMinus, rows.rdMinus);
}

TEST_F(TriggerSetupTest, UnknownCharacterShowsCrossesAndKeepsTheDisparity) {
    TriggerRows rows = RowsFromCharacters(macros_, {"K28.5", "Q99.9", "", "D27.3"});
    EXPECT_EQ(rows.rdPlus[1], "XXXXXXXXXX");
    EXPECT_EQ(rows.rdMinus[1], "XXXXXXXXXX");
    EXPECT_EQ(rows.rdPlus[2], "XXXXXXXXXX");
    // K28.5 turned the RD+ row negative; the unknown columns leave it so.
    EXPECT_EQ(rows.rdPlus[3], "1101100011");
}

TEST_F(TriggerSetupTest, WordIndexClampedAndWithoutFourWordPrimitives) {
    const std::size_t count = FourWordPrimitiveNames(macros_).size();
    EXPECT_EQ(RowsFromWord(macros_, 10000)->names,
              RowsFromWord(macros_, static_cast<int>(count) - 1)->names);
    EXPECT_FALSE(RowsFromWord(macros_, -1).has_value());

    WriteFile(Folders::Join(Folders::DataFolder("Macros"), "Short.csv"),
              "Short\nENCODING,8b10b.csv\nTRIGGER_STANDARD,SHORT\nCOLLECTION_START,SHORT\n"
              "SYNC,K28.5\nCOLLECTION_END\n");
    CMacros shortOne;
    shortOne.LoadMacros(Folders::Join(Folders::DataFolder("Macros"), "Short.csv"));
    std::optional<TriggerRows> none = RowsFromWord(shortOne, 0);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->names, (Row{"--", "--", "--", "--"}));
    EXPECT_EQ(none->rdPlus, (Row{"1111111111", "1111111111", "1111111111", "1111111111"}));
}

TEST_F(TriggerSetupTest, PatternChecksAndRdFieldFilter) {
    EXPECT_TRUE(IsBinaryPattern("x01X"));
    EXPECT_TRUE(IsBinaryPattern(std::string(40, '1')));
    EXPECT_FALSE(IsBinaryPattern(std::string(41, '1')));
    EXPECT_FALSE(IsBinaryPattern(""));
    EXPECT_FALSE(IsBinaryPattern("0121"));
    EXPECT_TRUE(IsHexPattern("0123456789"));
    EXPECT_FALSE(IsHexPattern("0123456789A"));
    EXPECT_FALSE(IsHexPattern("ab"));
    EXPECT_EQ(FilterRdField("1021x"), "101x");
    EXPECT_FALSE(FilterRdField("01010101010").has_value());
}

TEST_F(TriggerSetupTest, CloseStoresAndSendsOnlyWithinTheMaximum) {
    TriggerSetup record;
    TriggerEditor editor(link_, "CH2");
    editor.Restore(record, TriggerDefinitionOf(&macros_));
    editor.values.editPattern = "1f";
    editor.values.formatSelection = 1;
    editor.values.triggerOnSelection = 3;

    EXPECT_FALSE(editor.Close(&macros_, 1.0e9, record));  // Sata runs at 1.5E9
    EXPECT_EQ(record, TriggerSetup());
    EXPECT_EQ(Sent(), Lines{});

    EXPECT_TRUE(editor.Close(&macros_, 1.5e9, record));
    EXPECT_EQ(record.editPattern, "1f");
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 21u);
    EXPECT_EQ(sent[8], "Trigger:A:Serial:Source CH2");
    EXPECT_EQ(sent[15], "TRIGger:A:SERIAL:SERDes:PATtern 0,\"00011111\"");
}

TEST_F(TriggerSetupTest, CloseWithAnyValidControlCharacterOrCodeError) {
    TriggerSetup record;
    TriggerEditor editor(link_, "CH1");
    editor.values.triggerOnSelection = 1;
    editor.values.IsValidCharSelected = 1;
    editor.values.IsSpecificCharSelected = 0;
    ASSERT_TRUE(editor.Close(&macros_, 6e9, record));
    Lines sent = Sent();
    ASSERT_EQ(sent.size(), 3u + 6u + 7u);
    EXPECT_EQ(sent.back(), "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0");

    // A word trigger ignores a leftover any-valid choice.
    editor.values.triggerOnSelection = 0;
    ASSERT_TRUE(editor.Close(&macros_, 6e9, record));
    EXPECT_EQ(Sent().size(), 21u);

    editor.values.triggerOnSelection = 2;
    editor.ClickErrorKind(TriggerDefinitionOf(&macros_), ErrorKind::kLossOfByteSync);
    Sent();
    ASSERT_TRUE(editor.Close(&macros_, 6e9, record));
    EXPECT_EQ(record.bLossofByteSync, 1);
    sent = Sent();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent.back(), "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,6");
}

TEST_F(TriggerSetupTest, ErrorCheckBoxesOfTheEditorExcludeEachOther) {
    TriggerEditor editor(link_, "CH1");
    const TriggerDefinition sata = TriggerDefinitionOf(&macros_);
    editor.ClickErrorKind(sata, ErrorKind::kCharacterError);
    editor.ClickErrorKind(sata, ErrorKind::kDisparityError);
    EXPECT_EQ(editor.values.bCharacterError, 0);
    EXPECT_EQ(editor.values.bDisparityError, 1);
    const Lines sent = Sent();
    EXPECT_EQ(sent.back(), "ACQUIRE:STATE RUN");
    EXPECT_EQ(sent[sent.size() - 2], "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5");
}

TEST_F(TriggerSetupTest, OpeningResendsAStoredErrorKind) {
    TriggerSetup record;
    record.bDisparityError = 1;
    TriggerEditor editor(link_, "CH1");
    editor.Restore(record, TriggerDefinitionOf(&macros_));
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 6u + 8u);
    EXPECT_EQ(sent.front(), "TRIGger:A:SERIal:STANdard SATA");
    EXPECT_EQ(sent[12], "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5");
    EXPECT_EQ(editor.values.bDisparityError, 1);
}

TEST_F(TriggerSetupTest, RecallResendChoosesTheErrorKindInItsOwnOrder) {
    const TriggerDefinition sata = TriggerDefinitionOf(&macros_);
    struct Case {
        int character, disparity, loss;
        std::string condition;
    } cases[] = {{0, 0, 0, "8,5"}, {1, 1, 1, "8,4"}, {0, 1, 1, "8,6"}, {2, 0, 0, "8,5"}};
    for (const Case& c : cases) {
        TriggerSetup saved;
        saved.triggerOnSelection = 2;
        saved.bCharacterError = c.character;
        saved.bDisparityError = c.disparity;
        saved.bLossofByteSync = c.loss;
        ResendSavedTrigger(trigger_, saved, sata, "CH1");
        const Lines sent = Sent();
        ASSERT_EQ(sent.size(), 6u + 8u);
        EXPECT_EQ(sent[12], "TRIGger:A:SERIAL:SERDes:TRIGCONDITION " + c.condition);
    }
    TriggerSetup word;  // presets: an 8b/10b word of either disparity
    ResendSavedTrigger(trigger_, word, sata, "REF1");
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 18u);
    EXPECT_EQ(sent[8], "Trigger:A:Serial:Source REF1");
    const std::string joined = word.rdPlus[0] + word.rdPlus[1] + word.rdPlus[2] + word.rdPlus[3];
    EXPECT_EQ(sent[14], "TRIGger:A:SERIAL:SERDes:PATtern 0,\"" + joined + "\"");
    EXPECT_EQ(sent[16].substr(35, 10), word.rdMinus[0]);
}

}  // namespace
}  // namespace kestrava::test

// The instrument's display following the program: source names by display index, the
// trace switch, the cursor pair moved through the data bounds, and the zoom.
#include <string>
#include <vector>

#include "tests/instrument/ScopeFixture.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

class DisplayControlTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        ASSERT_EQ(scope_.OpenConnection(), 1);
        ASSERT_EQ(viSetAttribute(scope_.Session(), VI_ATTR_TMO_VALUE, kShortTimeoutMs), VI_SUCCESS);
        Received(scope_.Session());
        sim_.ClearJournal();
    }
    // A fresh object, so that no cursor has been placed yet. Its session is the module's,
    // closed when the test ends.
    COscilloscope scope_;
};

TEST_F(DisplayControlTest, SourceNamesFollowTheDisplayOrder) {
    const Lines expected{"CH1",  "CH2",  "CH3",   "CH4",   "REF1",  "REF2",
                         "REF3", "REF4", "MATH1", "MATH2", "MATH3", "MATH4"};
    for (int i = 0; i < 12; ++i) {
        std::string name = "x";
        EXPECT_EQ(COscilloscope::GetChStringFromNumber(i, name), 1);
        EXPECT_EQ(name, expected[static_cast<std::size_t>(i)]);
    }
    std::string name = "kept";
    EXPECT_EQ(COscilloscope::GetChStringFromNumber(12, name), 1);
    EXPECT_EQ(name, "kept");
}

TEST_F(DisplayControlTest, TheTraceSwitchNamesReferencesInMixedCase) {
    COscilloscope& scope = scope_;
    scope.SelectDisplayChannel(1);
    scope.SelectDisplayChannel(5);
    scope.SelectDisplayChannel(8);
    scope.SelectDisplayChannel(12);
    EXPECT_EQ(Received(scope_.Session()),
              (Lines{"SELECT:CH2 ON", "SELECT:Ref2 ON", "SELECT:MATH1 ON"}));
    EXPECT_EQ(sim_.Ask("SELect:REF2?"), "1");
}

TEST_F(DisplayControlTest, TheSecondCursorAloneSnapsOnce) {
    EXPECT_EQ(scope_.SetCursorPosition(2, 0, 900), 1);
    EXPECT_EQ(Received(scope_.Session()),
              (Lines{"CURSor:FUNCtion VBars", "CURSor:SOUrce CH1", "DATa:STOP 900",
                     "CURSor:MODe INDependent", "CURSOR:VBARs SNAP", "CURSor:STATE ON"}));
    EXPECT_TRUE(sim_.CommandErrors().empty());
}

TEST_F(DisplayControlTest, MovingOneCursorKeepsTheOtherWhereItWas) {
    scope_.SetCursorPosition(2, 4, 900);
    Received(scope_.Session());
    sim_.Ask("DATa:STOP 10000");
    sim_.ClearJournal();
    EXPECT_EQ(scope_.SetCursorPosition(1, 4, 500), 1);
    EXPECT_EQ(Received(scope_.Session()),
              (Lines{"CURSor:FUNCtion VBars", "CURSor:SOUrce REF1", "DATa:STARt 500",
                     "CURSor:MODe INDependent", "DATa:STOP?", "DATa:STOP 900", "CURSOR:VBARs SNAP",
                     "DATa:STOP 10000", "CURSor:STATE ON"}));
    // The bars sit on points 500 and 900 of the reference; the data stop is given back.
    EXPECT_EQ(sim_.Ask("DATa:STOP?"), "10000");
    EXPECT_EQ(sim_.Ask("DATa:STARt?"), "500");

    // And the other way round: cursor 2 moves, cursor 1 stays at 500.
    sim_.ClearJournal();
    EXPECT_EQ(scope_.SetCursorPosition(2, 4, 700), 1);
    const Lines journal = Received(scope_.Session());
    ASSERT_EQ(journal.size(), 9u);
    EXPECT_EQ(journal[2], "DATa:STOP 700");
    EXPECT_EQ(journal[4], "DATa:STARt?");
    EXPECT_EQ(journal[5], "DATa:STARt 500");
    EXPECT_EQ(journal[7], "DATa:STARt 500");
}

TEST_F(DisplayControlTest, ANegativePositionSendsNothing) {
    EXPECT_EQ(scope_.SetCursorPosition(1, 0, -1), 1);
    EXPECT_TRUE(Received(scope_.Session()).empty());
}

TEST_F(DisplayControlTest, AnUnansweredBoundQueryEndsWithItsStatus) {
    scope_.SetCursorPosition(1, 0, 100);
    sim_.InjectFault(scopesim::Fault::kNoAnswer);
    EXPECT_EQ(scope_.SetCursorPosition(2, 0, 200), VI_ERROR_TMO);
    EXPECT_EQ(CountOf("CURSor:STATE ON", scope_.Session()), 1u);
}

TEST_F(DisplayControlTest, ZoomSetsTheRecordLengthOfReferencesOnly) {
    COscilloscope& scope = scope_;
    scope.Zoom(1, 50.0f, 4.0f, 20000);
    EXPECT_EQ(Received(scope_.Session()),
              (Lines{"ZOOm:CH2:HORizontal:POSition 50.000000", "ZOOm:CH2:HORizontal:SCAle 4.000000",
                     "ZOOm:CH2:Vertical:SCAle 1", "ZOOm:MODE ON"}));
    sim_.ClearJournal();
    scope.Zoom(6, 12.5f, 0.25f, 30000);
    EXPECT_EQ(
        Received(scope_.Session()),
        (Lines{"HORizontal:RecordLength 30000", "HORizontal:RecordLength?",
               "ZOOm:REF3:HORizontal:POSition 12.500000", "ZOOm:REF3:HORizontal:SCAle 0.250000",
               "ZOOm:REF3:Vertical:SCAle 1", "ZOOm:MODE ON"}));
    EXPECT_TRUE(sim_.CommandErrors().empty());
    EXPECT_EQ(sim_.Ask("ZOOm:MODe?"), "1");
}

TEST_F(DisplayControlTest, WithoutAnInstrumentNeitherCursorsNorZoomSendAnything) {
    scope_.CloseConnection(true);
    sim_.Stop();
    EXPECT_EQ(scope_.SetCursorPosition(1, 0, 10), 0);
    scope_.Zoom(0, 50.0f, 2.0f, 1000);
    EXPECT_FALSE(scope_.Connected());
}

}  // namespace
}  // namespace kestrava::test

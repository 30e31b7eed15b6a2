// The instrument session (one connection, writes and reads as VISA calls, no session no
// I/O) and the single-sequence acquisition in its three modes.
#include <string>
#include <vector>

#include "tests/instrument/ScopeFixture.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

class SessionTest : public ScopeTest {};

TEST_F(SessionTest, ConnectingTwiceKeepsOneSessionAndSendsTheHeaderCommandOnce) {
    COscilloscope& scope = TheOscilloscope();
    ASSERT_EQ(scope.OpenConnection(), 1);
    const std::uint32_t session = scope.Session();
    EXPECT_NE(session, 0u);
    EXPECT_EQ(scope.OpenConnection(), 1);
    EXPECT_EQ(scope.Session(), session);
    EXPECT_EQ(Received(), Lines{"HEADER 0"});
    EXPECT_EQ(sim_.OpenConnections(), 1u);

    EXPECT_EQ(scope.CloseConnection(false), 1);
    EXPECT_TRUE(scope.Connected());
    EXPECT_EQ(scope.CloseConnection(true), 1);
    EXPECT_FALSE(scope.Connected());
    EXPECT_EQ(scope.CloseConnection(true), 1);
}

TEST_F(SessionTest, WithoutASessionNothingIsSentAndTheReplyIsLeftAlone) {
    COscilloscope& scope = TheOscilloscope();
    std::string reply = "untouched";
    EXPECT_EQ(scope.Write("*IDN?"), 0);
    EXPECT_EQ(scope.Read(reply), 0);
    EXPECT_EQ(reply, "untouched");
    EXPECT_EQ(scope.SelectChannelAndAcquire("CH1"), 0);
    EXPECT_TRUE(Received().empty());
}

TEST_F(SessionTest, WritesExactlyTheCommandAndCutsLongRepliesAt256Bytes) {
    sim_.SetIdentity(std::string(300, 'x'));
    Connect();
    COscilloscope& scope = TheOscilloscope();
    std::string reply;
    EXPECT_EQ(scope.Write("*IDN?"), 1);
    EXPECT_EQ(scope.Read(reply), 1);
    EXPECT_EQ(reply, std::string(256, 'x'));
    EXPECT_EQ(Received(), Lines{"*IDN?"});
}

TEST_F(SessionTest, ARejectedWriteStillCounts) {
    Connect();
    sim_.Stop();  // the instrument goes away: VISA fails every write
    COscilloscope& scope = TheOscilloscope();
    std::string reply;
    scope.Write("*IDN?");
    scope.Read(reply);
    EXPECT_EQ(scope.Write("*IDN?"), 1);
    EXPECT_LT(scope.WriteStatus("*IDN?"), 0);
}

TEST_F(SessionTest, ALostConnectionIsOpenedAnewOnceTheInstrumentIsBack) {
    Connect();
    COscilloscope& scope = TheOscilloscope();
    sim_.Stop();
    std::string reply;
    scope.WriteStatus("*IDN?");
    EXPECT_EQ(scope.ReadStatus(reply), VI_ERROR_CONN_LOST);
    // Still held until the next connection attempt, which finds it lost.
    EXPECT_TRUE(scope.Connected());

    ASSERT_TRUE(StartAgain()) << sim_.LastError();
    ASSERT_EQ(scope.OpenConnection(), 1);
    EXPECT_EQ(scope.WriteStatus("*IDN?"), VI_SUCCESS);
    EXPECT_GE(scope.ReadStatus(reply), VI_SUCCESS);
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(Received(), (Lines{"HEADER 0", "*IDN?"}));
    // A sound session is kept as it is.
    const std::uint32_t session = scope.Session();
    ASSERT_EQ(scope.OpenConnection(), 1);
    EXPECT_EQ(scope.Session(), session);
}

TEST_F(SessionTest, AMissingInstrumentLeavesTheObjectUnconnected) {
    sim_.Stop();
    EXPECT_EQ(TheOscilloscope().OpenConnection(), 0);
    EXPECT_EQ(WdmGetLastError(), kWdmGpibConnectFailed);
    EXPECT_EQ(TheOscilloscope().SetCursorPosition(1, 0, 10), 0);
}

class AcquireTest : public ScopeTest {};

TEST_F(AcquireTest, ModeZeroSendsNothing) {
    Connect();
    EXPECT_EQ(TheOscilloscope().AcquireWaveform(kAcquireHeldRecord), 1);
    EXPECT_TRUE(Received().empty());
}

TEST_F(AcquireTest, SingleSequencePollsUntilTheInstrumentIsNoLongerBusy) {
    Connect();
    const auto before = sim_.AcquisitionCount();
    EXPECT_EQ(TheOscilloscope().SelectChannelAndAcquire("CH3"), 1);
    EXPECT_EQ(Journal(),
              (Lines{"HEADER OFF;", "SELECT:CH3 ON", "DATa:SOUrce CH3", "DISplay:DESKew 0",
                     "ACQUIRE:STOPAFTER SEQUENCE", "ACQUIRE:STATE RUN", "BUSY?"}));
    EXPECT_EQ(sim_.AcquisitionCount(), before + 1);
    EXPECT_EQ(sim_.Ask("BUSY?"), "0");
    EXPECT_TRUE(sim_.CommandErrors().empty());
}

TEST_F(AcquireTest, ForcedTriggerEndsASequenceThatWouldNeverTrigger) {
    sim_.SetAutoTrigger(false);
    Connect();
    EXPECT_EQ(TheOscilloscope().AcquireWaveform(kAcquireForcedTrigger), 1);
    EXPECT_EQ(Journal(), (Lines{"DISplay:DESKew 0", "ACQUIRE:STOPAFTER SEQUENCE",
                                "ACQUIRE:STATE RUN", "TRIGGER Force", "BUSY?"}));
}

TEST_F(AcquireTest, AnInstrumentThatStaysBusyIsGivenUpAfterTheLastPoll) {
    sim_.InjectFault(scopesim::Fault::kBusyForever);
    Connect();
    EXPECT_EQ(TheOscilloscope().AcquireWaveform(kAcquireSingleSequence), 0);
    // Polls 0 to the limit are made: one more than the limit.
    EXPECT_EQ(CountOf("BUSY?"),
              static_cast<std::size_t>(TheOscilloscope().Timings().busyPollLimit + 1));
}

TEST_F(AcquireTest, ABusyQueryThatIsNeverAnsweredFailsTheAcquisition) {
    sim_.InjectFault(scopesim::Fault::kNoAnswer);
    Connect();
    EXPECT_EQ(TheOscilloscope().AcquireWaveform(kAcquireSingleSequence), 0);
    EXPECT_EQ(CountOf("BUSY?"), 1u);
}

}  // namespace
}  // namespace kestrava::test

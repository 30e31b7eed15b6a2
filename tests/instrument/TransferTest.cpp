// The waveform data module's transfer: the commands of one transfer in their order, the
// conversion to volts for 16-bit channels and floating-point math sources, the source's
// header, bounds on what the instrument reports, and the transfer faults, each ending with
// no record, the module's error and no lock left behind. A scripted instrument shows what
// the simulator cannot: a curve that alone goes unanswered, and a block that lies.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/instrument/ScopeFixture.h"
#include "visa/LoopbackPeer.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;
using scopesim::Fault;
using scopesim::Waveform;

constexpr std::size_t kPoints = 10000;

Waveform Ramp() {
    Waveform wave;
    wave.sampleIntervalS = 5e-11;
    for (std::size_t i = 0; i < kPoints; ++i)
        wave.volts.push_back(
            static_cast<float>(-0.3 + 0.6 * static_cast<double>(i) / (kPoints - 1)));
    return wave;
}

constexpr int kCh1 = 0, kMath2 = 5, kRef1 = 8;

class TransferTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        sim_.SetSource("CH1", Ramp);
        sim_.SetSource("CH2", Ramp);
        Connect();
        // A stopped instrument keeps its record through the transfer.
        TheOscilloscope().AcquireWaveform(kAcquireSingleSequence);
        sim_.Ask("SELECT:MATH2 ON");
        sim_.ClearJournal();
    }
};

TEST_F(TransferTest, AChannelIsTransferredAsSixteenBitPointsInTheOrderOfTheCommands) {
    std::span<const float> volts = WdmGetWaveformData(kCh1, 0.0, 100.0);
    ASSERT_EQ(volts.size(), kPoints);
    const Waveform sent = Ramp();
    // 16-bit points of a 0.1 V/div channel: steps of 15.6 uV.
    for (std::size_t i = 0; i < kPoints; i += 37) EXPECT_NEAR(volts[i], sent.volts[i], 2e-5) << i;
    EXPECT_NEAR(volts[kPoints - 1], sent.volts[kPoints - 1], 2e-5);

    const std::string nbsp = "\xA0";
    EXPECT_EQ(Received(), (Lines{"SELect:CH1?",
                                 "DATa:SOUrce CH1",
                                 "WFMOUTPRE:WFID?",
                                 "DATa:SOUrce CH1",
                                 "DATA:START 1",
                                 "DATA:STOP 10000",
                                 "WFMOutpre:ENCdg" + nbsp + "BIN",
                                 "WFMOutpre:BYT_Or" + nbsp + "LSB",
                                 "WFMOutpre:BYT_Or?",
                                 "DATa:ENCdg SRIBinary",
                                 "WFMOutpre:BYT_NR?",
                                 "WFMOutpre:BN_Fmt?",
                                 "Data:ENCdg" + nbsp + "SRIBIN",
                                 "Data:width 2",
                                 "ACQuire:STATE?",
                                 "ACQuire:STATE 0",
                                 "CURVE?",
                                 "ACQuire:STATE 0",
                                 "WFMOutpre:NR_Pt?",
                                 "WFMOutpre:BYT_NR?",
                                 "DATa:SOUrce CH1",
                                 "WFMOutpre:YOff?",
                                 "WFMOutpre:YZero?",
                                 "WFMOutpre:YMULT?"}));
    EXPECT_TRUE(sim_.CommandErrors().empty());
    EXPECT_TRUE(InstrumentUnlocked());
}

TEST_F(TransferTest, APartOfTheRecordStartsAtItsOwnPoint) {
    std::span<const float> volts = WdmGetWaveformData(kCh1, 25.0, 75.0);
    ASSERT_EQ(volts.size(), 5000u);
    EXPECT_NEAR(volts[0], Ramp().volts[2500], 2e-5);
    EXPECT_EQ(CountOf("DATA:START 2501"), 1u);
    EXPECT_EQ(CountOf("DATA:STOP 7500"), 1u);
}

TEST_F(TransferTest, TheHeaderDescribesTheSourceAndTimesTheEdges) {
    ASSERT_EQ(WdmGetWaveformData(kCh1, 0.0, 100.0).size(), kPoints);
    sim_.ClearJournal();
    const WaveformHeader header = WdmGetWaveformHeader(kCh1);
    EXPECT_EQ(header.sampleTypeCode, 0);  // 2-byte points
    EXPECT_EQ(header.recordLengthPoints, static_cast<std::int64_t>(kPoints));
    EXPECT_EQ(header.transferRangePoints, static_cast<std::int64_t>(kPoints));
    EXPECT_DOUBLE_EQ(header.sampleIntervalS, 5e-11);
    EXPECT_DOUBLE_EQ(header.triggerPointOffsetPoints, 5000.0);
    EXPECT_DOUBLE_EQ(header.firstPointTimeToTriggerS, -5e-11 * 5000.0);
    EXPECT_DOUBLE_EQ(header.yMult, 0.1 / 6400.0);
    EXPECT_DOUBLE_EQ(header.levelToVoltScale, header.yMult);
    EXPECT_DOUBLE_EQ(header.levelToVoltOffset, header.yMult * header.yOff - header.yZeroV);
    EXPECT_STREQ(header.horizontalUnit.data(), "s");
    EXPECT_STREQ(header.verticalUnit.data(), "V");
    EXPECT_EQ(Received(), (Lines{"DATa:SOUrce CH1", "WFMOutpre:BYT_Nr?", "DATa:SOUrce CH1",
                                 "WFMOUTPRE:WFID?", "DATa:SOUrce CH1", "WFMOutpre:YOff?",
                                 "WFMOutpre:YZero?", "WFMOutpre:YMULT?", "WFMOUTPRE:PT_OFF?",
                                 "WFMOUTPRE:XINCR?", "DATa:SOUrce CH1", "WFMOutpre:BYT_NR?",
                                 "DATa:SOUrce CH1", "DATA:START?", "DATA:STOP?", "WFMOUTPRE:XZERO?",
                                 "DATa:SOUrce CH1", "wfmoutpre:xunit?", "wfmoutpre:yunit?"}));

    // A rising crossing half-way along the ramp, timed from the trigger point.
    ASSERT_TRUE(WdmAddEdgeSearch(0.0f, 0.01f, kEdgeRising, "RisingEdge"));
    ASSERT_TRUE(WdmFindEdgesInAcquiredData());
    ASSERT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 1);
    const double position = WdmGetRisingEdgePositions("RisingEdge")[0];
    EXPECT_NEAR(position, 4999.5, 0.6);
    EXPECT_NEAR(WdmGetRisingEdgeTimes("RisingEdge")[0], (position - 5000.0) * 5e-11, 1e-15);
}

TEST_F(TransferTest, AMathSourceIsAlwaysTransferredAsFloats) {
    std::span<const float> volts = WdmGetWaveformData(kMath2, 0.0, 100.0);
    ASSERT_EQ(volts.size(), kPoints);
    EXPECT_FLOAT_EQ(volts[1234], Ramp().volts[1234]);
    EXPECT_EQ(CountOf("SELect:MATH2?"), 1u);
    EXPECT_EQ(CountOf("DATa:ENCdg SFPbinary"), 1u);
    EXPECT_EQ(CountOf("Data:width 2"), 0u);

    const WaveformHeader header = WdmGetWaveformHeader(kMath2);
    EXPECT_EQ(header.sampleTypeCode, 4);
    // Floating-point sources take their scale from the measured extremes.
    EXPECT_NEAR(header.levelToVoltScale, 0.6 / 38400.0, 1e-9);
    EXPECT_NEAR(header.levelToVoltOffset, 0.0, 1e-6);
    EXPECT_EQ(CountOf("Measurement:IMMed:Source MATH2"), 1u);
    EXPECT_EQ(CountOf("Measurement:IMMed:TYpe MINIMUM"), 1u);
}

TEST_F(TransferTest, AnInactiveOrUnknownSourceGivesNoRecord) {
    sim_.Ask("SELECT:REF1 OFF");
    EXPECT_TRUE(WdmGetWaveformData(kRef1, 0.0, 100.0).empty());
    EXPECT_EQ(WdmGetLastError(), kWdmSourceNotActive);
    EXPECT_EQ(CountOf("CURVE?"), 0u);
    EXPECT_FALSE(WdmFindEdgesInAcquiredData());

    EXPECT_TRUE(WdmGetWaveformData(12, 0.0, 100.0).empty());
    EXPECT_EQ(WdmGetLastError(), kWdmInvalidSource);
    EXPECT_EQ(WdmGetWaveformHeader(-1).recordLengthPoints, 0);
    EXPECT_TRUE(InstrumentUnlocked());
}

TEST_F(TransferTest, AnUnreadableBlockHeaderRestoresTheAcquisitionAndLeavesTheSessionUsable) {
    // A free-running instrument: the transfer stops it for the curve.
    sim_.Ask("ACQuire:STOPAfter RUNSTop;:ACQuire:STATE RUN");
    sim_.InjectFault(Fault::kCorruptBlockHeader);
    EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
    EXPECT_EQ(WdmGetLastError(), kWdmDataNotAvailable);
    const Lines journal = Received();
    ASSERT_GE(journal.size(), 3u);
    EXPECT_EQ(journal[journal.size() - 3], "ACQuire:STATE 0");
    EXPECT_EQ(journal[journal.size() - 2], "CURVE?");
    EXPECT_EQ(journal.back(), "ACQuire:STATE 1");
    EXPECT_TRUE(InstrumentUnlocked());

    // The rest of the bad block was discarded: the next transfer reads its own replies.
    sim_.ClearFaults();
    TheOscilloscope().AcquireWaveform(kAcquireSingleSequence);
    EXPECT_EQ(WdmGetWaveformData(kCh1, 0.0, 100.0).size(), kPoints);
}

TEST_F(TransferTest, AConnectionLostInTheBlockGivesNoRecordAndNoLock) {
    sim_.InjectFault(Fault::kDisconnectMidBlock);
    EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
    EXPECT_EQ(WdmGetLastError(), kWdmDataNotAvailable);
    EXPECT_TRUE(InstrumentUnlocked());
    EXPECT_EQ(WdmGetWaveformHeader(kCh1).recordLengthPoints, 0);
}

TEST_F(TransferTest, APointCountBeyondTheBlockIsBoundedByIt) {
    sim_.InjectFault(Fault::kCountExceedsBlock);
    std::span<const float> volts = WdmGetWaveformData(kCh1, 0.0, 100.0);
    ASSERT_EQ(volts.size(), kPoints);
    EXPECT_NEAR(volts[kPoints - 1], Ramp().volts[kPoints - 1], 2e-5);
    EXPECT_TRUE(InstrumentUnlocked());
}

// A block too long for a nine-digit length (a billion bytes) comes as "#0": its length is
// that of the points asked for.
TEST_F(TransferTest, AnIndefiniteBlockIsReadAsThePointsAskedFor) {
    const std::span<const float> first = WdmGetWaveformData(kCh1, 0.0, 100.0);
    const std::vector<float> definite(first.begin(), first.end());
    ASSERT_EQ(definite.size(), kPoints);
    sim_.InjectFault(Fault::kIndefiniteBlock);
    TheOscilloscope().AcquireWaveform(kAcquireSingleSequence);
    std::span<const float> volts = WdmGetWaveformData(kCh1, 0.0, 100.0);
    ASSERT_EQ(volts.size(), kPoints);
    for (std::size_t i = 0; i < kPoints; ++i) ASSERT_EQ(volts[i], definite[i]) << i;
    EXPECT_TRUE(InstrumentUnlocked());
}

TEST_F(TransferTest, AnInstrumentThatNeverAnswersGivesNoRecordWithinTheTimeout) {
    sim_.InjectFault(Fault::kNoAnswer);
    EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
    EXPECT_EQ(CountOf("CURVE?"), 0u);
    EXPECT_TRUE(InstrumentUnlocked());
    const WaveformHeader header = WdmGetWaveformHeader(kCh1);
    EXPECT_EQ(header.sampleIntervalS, 0.0);
    EXPECT_EQ(header.horizontalUnit[0], '\0');
}

TEST_F(TransferTest, AnotherClientHoldingTheLockKeepsTheTransferOut) {
    ViSession manager = VI_NULL, other = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&manager), VI_SUCCESS);
    ASSERT_EQ(viOpen(manager, address_.c_str(), VI_NO_LOCK, 0, &other), VI_SUCCESS);
    ASSERT_GE(viLock(other, VI_EXCLUSIVE_LOCK, 100, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
    EXPECT_EQ(CountOf("SELect:CH1?"), 0u);
    EXPECT_EQ(WdmGetInstrumentProblem(), "the instrument is in use by another program");
    // The first lock timeout ends the transfer: its header is not waited for again, even
    // once the lock is free.
    viUnlock(other);
    EXPECT_EQ(WdmGetWaveformHeader(kCh1).recordLengthPoints, 0);
    EXPECT_TRUE(Received().empty());
    viClose(manager);
    EXPECT_EQ(WdmGetWaveformData(kCh1, 0.0, 100.0).size(), kPoints);
    EXPECT_EQ(WdmGetInstrumentProblem(), "");
}

// A 16-bit channel of the given length, played on the loopback transport as GPIB8::1::INSTR;
// CURVE? answers what the test says. Every command is journalled.
class ScriptedTransferTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        kvClearAliases();
        ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", "LOOPBACK::scripted::INSTR"), VI_SUCCESS);
        ASSERT_TRUE(WdmStart());
        WdmSetTimeouts({kShortTimeoutMs, kShortTimeoutMs});
        Reconnect();
    }
    void TearDown() override {
        WdmDisconnect();
        WdmSetTimeouts(WdmTimeouts{});
        WdmStop();
        kvClearAliases();
        TempFolders::TearDown();
    }
    void Reconnect() {
        WdmDisconnect();
        std::uint32_t session = 0;
        ASSERT_TRUE(WdmConnect(session));
        journal_.clear();
        silent_ = false;
    }

    std::string Answer(std::string_view written) {
        std::string command(written.substr(0, written.size() - 1));  // without its line feed
        journal_.push_back(command);
        if (silent_) return "";
        if (command == "CURVE?") return curve_();
        if (command == "SELect:CH1?" || command == "ACQuire:STATE?") return "1\n";
        if (command == "WFMOUTPRE:WFID?") return "Ch1, " + std::to_string(points_) + " points\n";
        if (command == "WFMOutpre:BYT_Or?") return "LSB\n";
        if (command == "WFMOutpre:BYT_NR?") return "2\n";
        if (command == "WFMOutpre:BN_Fmt?") return "RI\n";
        return "";
    }
    // The commands from the last CURVE? on.
    Lines FromCurve() const {
        for (std::size_t i = journal_.size(); i-- > 0;)
            if (journal_[i] == "CURVE?")
                return Lines(journal_.begin() + static_cast<long>(i), journal_.end());
        return {};
    }

    long points_ = 1000;
    std::function<std::string()> curve_;
    bool silent_ = false;
    Lines journal_;
    visa::LoopbackPeer peer_{"scripted",
                             [this](std::string_view written) { return Answer(written); }};
};

// A curve that times out ends the transfer and the session: nothing more is asked but one
// short question, whose answer alone lets the stopped acquisition be restored.
TEST_F(ScriptedTransferTest, ACurveThatTimesOutEndsTheSessionAndRestoresOnlyAnAnsweringInstrument) {
    struct Case {
        bool silentAfterCurve;
        Lines fromCurve;
    };
    const Case cases[] = {
        {false, {"CURVE?", "ACQuire:STATE?", "ACQuire:STATE 1"}},
        {true, {"CURVE?", "ACQuire:STATE?"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.silentAfterCurve ? "silent from the curve on" : "only the curve unanswered");
        Reconnect();
        curve_ = [&] {
            silent_ = c.silentAfterCurve;
            return std::string();
        };
        EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
        EXPECT_EQ(WdmGetLastError(), kWdmDataNotAvailable);
        EXPECT_EQ(WdmGetInstrumentProblem(),
                  "no answer from GPIB8::1::INSTR (LOOPBACK::scripted::INSTR) within 0.3 s");
        EXPECT_EQ(WdmGetWaveformHeader(kCh1).recordLengthPoints, 0);
        EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
        EXPECT_EQ(FromCurve(), c.fromCurve);
    }
}

// A block announcing far more than it sends: the buffer grows with the bytes that came, so
// the peak memory stays far below the announced gigabyte. ctest runs each test in a process
// of its own, so the peak is this test's.
TEST_F(ScriptedTransferTest, ALyingBlockLengthCommitsOnlyWhatArrives) {
    points_ = 500'000'000;
    curve_ = [this] {
        peer_.Hangup();
        return "#9999999999" + std::string(64 * 1024, '\x01');
    };
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_TRUE(WdmGetWaveformData(kCh1, 0.0, 100.0).empty());
    EXPECT_EQ(WdmGetLastError(), kWdmDataNotAvailable);
    EXPECT_EQ(FromCurve(), Lines{"CURVE?"});
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200L * 1024) << "kB";
}

}  // namespace
}  // namespace kestrava::test

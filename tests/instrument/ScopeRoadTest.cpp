// The road of one analysis from the instrument: "Single" on a source, through the bit
// detector's instrument path, the transfer, bit recovery and decoding, to the lists; the
// journal holds the commands in their order and the decode is the traffic the simulator
// sent. Also references, math sources, the three modes, Fast Frame, every injected fault,
// the cursor and zoom of the presentation, and the command line's --scope.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "base/MessageBox.h"
#include "protocol/CSataWordDecoder.h"
#include "session/CSataUserInterface.h"
#include "signal/CSataBitDetector.h"
#include "tests/instrument/ScopeFixture.h"
#include "tests/support/RecordingMessageBox.h"
#include "tools/kestrava-decode/DecodeCommand.h"
#include "tools/kestrava-scopesim/SynthSource.h"
#include "visa/ResourceLock.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;
using scopesim::Fault;
using scopesim::SynthSource;

// The commands of one analysis of a channel or math source, "BUSY?" polls shown once.
Lines AnalysisCommands(const std::string& name, int mode, long points) {
    const std::string source = "DATa:SOUrce " + name;
    const std::string nbsp = "\xA0";
    Lines lines{"HORizontal:FASTframe:State?", "HORizontal:MAIn:POSition?", "HEADER OFF;",
                "SELECT:" + name + " ON", source};
    if (mode != 0) {
        lines.insert(lines.end(),
                     {"DISplay:DESKew 0", "ACQUIRE:STOPAFTER SEQUENCE", "ACQUIRE:STATE RUN"});
        if (mode == 2) lines.push_back("TRIGGER Force");
        lines.push_back("BUSY?");
    }
    const bool math = name.rfind("MATH", 0) == 0;
    lines.insert(lines.end(), {"SELect:" + name + "?", source, "WFMOUTPRE:WFID?", source,
                               "DATA:START 1", "DATA:STOP " + std::to_string(points),
                               "WFMOutpre:ENCdg" + nbsp + "BIN", "WFMOutpre:BYT_Or" + nbsp + "LSB",
                               "WFMOutpre:BYT_Or?", "DATa:ENCdg SRIBinary", "WFMOutpre:BYT_NR?"});
    if (math) lines.push_back("DATa:ENCdg SFPbinary");
    lines.push_back("WFMOutpre:BN_Fmt?");
    if (!math) lines.insert(lines.end(), {"Data:ENCdg" + nbsp + "SRIBIN", "Data:width 2"});
    const std::string restored = mode == 0 ? "ACQuire:STATE 1" : "ACQuire:STATE 0";
    lines.insert(
        lines.end(),
        {"ACQuire:STATE?", "ACQuire:STATE 0", "CURVE?", restored, "WFMOutpre:NR_Pt?",
         "WFMOutpre:BYT_NR?", source, "WFMOutpre:YOff?", "WFMOutpre:YZero?", "WFMOutpre:YMULT?",
         // the header
         source, "WFMOutpre:BYT_Nr?", source, "WFMOUTPRE:WFID?", source, "WFMOutpre:YOff?",
         "WFMOutpre:YZero?", "WFMOutpre:YMULT?", "WFMOUTPRE:PT_OFF?", "WFMOUTPRE:XINCR?", source,
         "WFMOutpre:BYT_NR?"});
    if (math)
        lines.insert(lines.end(), {"Measurement:IMMed:Source " + name,
                                   "Measurement:IMMed:TYpe MAXIMUM", "Measurement:IMMed:Value?",
                                   "Measurement:IMMed:TYpe MINIMUM", "Measurement:IMMed:Value?"});
    lines.insert(
        lines.end(),
        {source, "DATA:START?", "DATA:STOP?", "WFMOUTPRE:XZERO?", source, "wfmoutpre:xunit?",
         "wfmoutpre:yunit?",
         // the statistics
         "MEASUrement:IMMed:SOUrce " + name, "MEASUrement:IMMed:REFLevel:METHod PERCent",
         "MEASUrement:MEAS1:METHod HIStogram", "MEASUrement:IMMed:TYPe MAXimum",
         "MEASUrement:IMMed:VALue?", "MEASUrement:IMMed:TYPe MINImum", "MEASUrement:IMMed:VALue?",
         "MEASUrement:IMMed:TYPe MEAN", "MEASUrement:IMMed:VALue?"});
    return lines;
}

class ScopeRoadTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        Folders::PrepareDataFolders();
        SetMessageBoxSink(&messages_);
        synth_ = std::make_shared<SynthSource>();
        sim_.SetSource("CH1", scopesim::MakeWaveformSource(synth_));
        ui_ = std::make_unique<CSataUserInterface>(mainList_, highLevelList_);
        ui_->viewLayout = 2;
        Connect();
    }
    void TearDown() override {
        ui_.reset();
        SetMessageBoxSink(nullptr);
        ScopeTest::TearDown();
    }

    // "Single" (mode 1), "Force Trig" (mode 2) or the acquisition settings' OK (mode 0).
    void Press(int source, int mode) {
        SetAcquisitionMode(mode);
        ui_->SetSource(source);
        sim_.ClearJournal();
        ui_->LoadWaveformFromOsc();
    }

    // The decoded characters are the characters sent, from the first the detector could
    // see on; the first and last decoded words may be cut by the record's ends.
    void ExpectDecodedAsSent(const synth::SataTraffic& traffic) {
        ASSERT_TRUE(ui_->Decoder().IsValid()) << ui_->StatusText();
        const CSataWordDecoder* words = ui_->Decoder().WordDecoder();
        ASSERT_NE(words, nullptr);
        std::vector<int> decoded;
        for (int w = 1; w + 1 < words->WordCount(); ++w)
            decoded.push_back(
                words->TableRows()[static_cast<std::size_t>(w)] < 0 ? -1 : words->GetWordValue(w));
        std::vector<int> sent;
        for (const auto& character : traffic.characters) sent.push_back(character.value);
        ASSERT_GE(decoded.size() + 6, sent.size());
        auto at = std::search(sent.begin(), sent.end(), decoded.begin(), decoded.end());
        EXPECT_NE(at, sent.end()) << "the decoded characters are not a run of the sent ones";
    }

    RecordingMessageBox messages_;
    std::shared_ptr<SynthSource> synth_;
    MemoryListBox mainList_, highLevelList_;
    std::unique_ptr<CSataUserInterface> ui_;
};

TEST_F(ScopeRoadTest, SingleOnChannelOneRunsTheWholeRoadOfOneAnalysis) {
    Press(0, kAcquireSingleSequence);
    ExpectDecodedAsSent(synth_->LastTraffic());
    const long points = static_cast<long>(ui_->Decoder().BitDetector()->SampleCount());
    Lines expected{"SELECT:CH1 ON"};
    for (const std::string& line : AnalysisCommands("CH1", 1, points)) expected.push_back(line);
    EXPECT_EQ(Journal(), expected);
    EXPECT_TRUE(sim_.CommandErrors().empty());
    EXPECT_TRUE(InstrumentUnlocked());

    EXPECT_EQ(ui_->WaveformTitle(), "CH1 Waveform");
    EXPECT_GT(mainList_.Count(), 100);
    EXPECT_GT(highLevelList_.Count(), 5);
    const std::string summary = ui_->StatusText();
    EXPECT_NE(summary.find("Source: CH1"), std::string::npos) << summary;
    EXPECT_NE(summary.find("RD Errors: 0"), std::string::npos) << summary;
    // The instrument measured the statistics of the record.
    EXPECT_NEAR(ui_->GetSignalMax(), 0.25f, 0.03f);
    EXPECT_NEAR(ui_->GetSignalMin(), -0.25f, 0.03f);
    EXPECT_FLOAT_EQ(ui_->GetHorizontalPosition(), 50.0f);
}

TEST_F(ScopeRoadTest, ForcedTriggerAndTheHeldRecordDecodeTheirOwnAcquisitions) {
    sim_.SetAutoTrigger(false);
    Press(0, kAcquireForcedTrigger);
    ExpectDecodedAsSent(synth_->LastTraffic());
    EXPECT_EQ(CountOf("TRIGGER Force"), 1u);

    // Mode 0 starts nothing; the running instrument takes its last record when the
    // transfer stops it, and that record is the one decoded.
    sim_.SetAutoTrigger(true);
    sim_.Ask("ACQuire:STOPAfter RUNSTop;:ACQuire:STATE RUN");
    Press(0, kAcquireHeldRecord);
    ExpectDecodedAsSent(synth_->LastTraffic());
    const long points = static_cast<long>(ui_->Decoder().BitDetector()->SampleCount());
    Lines expected{"SELECT:CH1 ON"};
    for (const std::string& line : AnalysisCommands("CH1", 0, points)) expected.push_back(line);
    EXPECT_EQ(Journal(), expected);
}

TEST_F(ScopeRoadTest, AReferenceIsReadAsStoredWithoutANewAcquisition) {
    auto stored = std::make_shared<SynthSource>();
    sim_.SetSource("REF2", scopesim::MakeWaveformSource(stored));
    const auto acquisitions = sim_.AcquisitionCount();
    Press(5, kAcquireSingleSequence);
    ExpectDecodedAsSent(stored->LastTraffic());
    EXPECT_EQ(AcquisitionMode(), kAcquireHeldRecord);
    const Lines journal = Received();
    ASSERT_GE(journal.size(), 6u);
    EXPECT_EQ(journal[0], "SELECT:Ref2 ON");
    EXPECT_EQ(journal[4], "SELECT:REF2 ON");
    EXPECT_EQ(journal[6], "SELect:REF2?");
    EXPECT_EQ(CountOf("ACQUIRE:STATE RUN"), 0u);
    EXPECT_EQ(ui_->WaveformTitle(), "Ref2 Waveform");
    EXPECT_NE(ui_->StatusText().find("Source: REF2"), std::string::npos);
    EXPECT_GE(sim_.AcquisitionCount(), acquisitions);  // the stored record is not among them
}

TEST_F(ScopeRoadTest, AMathSourceIsDecodedFromItsFloatingPointRecord) {
    Press(8, kAcquireSingleSequence);  // MATH1 shows CH1
    ExpectDecodedAsSent(synth_->LastTraffic());
    const long points = static_cast<long>(ui_->Decoder().BitDetector()->SampleCount());
    Lines expected{"SELECT:MATH1 ON"};
    for (const std::string& line : AnalysisCommands("MATH1", 1, points)) expected.push_back(line);
    EXPECT_EQ(Journal(), expected);
    EXPECT_EQ(ui_->WaveformTitle(), "Math1 Waveform");
}

TEST_F(ScopeRoadTest, FastFrameIsRefusedWithAMessageBox) {
    sim_.Ask("HORizontal:FASTframe:STATE 1");
    Press(0, kAcquireSingleSequence);
    EXPECT_FALSE(ui_->Decoder().IsValid());
    EXPECT_EQ(messages_.Shown(), Lines{"KORVAN: Fast Frame is not supported"});
    EXPECT_EQ(ui_->StatusText(), "Waveform is not available for analysis\r\n");
    EXPECT_EQ(CountOf("CURVE?"), 0u);
    EXPECT_TRUE(ui_->WaveformTitle().empty());
}

// Every fault ends with the program's own outcome, no decode and no lock left behind.
TEST_F(ScopeRoadTest, EveryInjectedFaultEndsWithTheProgramsOwnOutcome) {
    struct Case {
        Fault fault;
        const char* kept;  // the line kept before the final one
    };
    const Case cases[] = {
        {Fault::kBusyForever, "WAVEFORM NOT TRIGGERED...."},
        {Fault::kNoAnswer, "WAVEFORM NOT TRIGGERED...."},
        {Fault::kCorruptBlockHeader, "Source: CH1"},
        {Fault::kDisconnectMidBlock, "Source: CH1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(scopesim::FaultName(c.fault)));
        TheOscilloscope().CloseConnection(true);
        Connect();
        sim_.InjectFault(c.fault);
        Press(0, kAcquireSingleSequence);
        sim_.ClearFaults();
        EXPECT_FALSE(ui_->Decoder().IsValid());
        EXPECT_EQ(ui_->Decoder().BitDetector(), nullptr);
        const std::string status = ui_->StatusText();
        EXPECT_NE(status.find(std::string(c.kept) + "\r\n"), std::string::npos) << status;
        EXPECT_NE(status.find("Waveform is not available for analysis"), std::string::npos)
            << status;
        EXPECT_TRUE(InstrumentUnlocked());
    }
    // A count beyond the block still decodes: the count is bounded by the block.
    TheOscilloscope().CloseConnection(true);
    Connect();
    sim_.InjectFault(Fault::kCountExceedsBlock);
    Press(0, kAcquireSingleSequence);
    ExpectDecodedAsSent(synth_->LastTraffic());
}

TEST_F(ScopeRoadTest, CursorsAndZoomFollowTheDecodedRecord) {
    Press(0, kAcquireSingleSequence);
    ASSERT_TRUE(ui_->Decoder().IsValid());
    const std::uint32_t count = ui_->Decoder().BitDetector()->SampleCount();
    sim_.ClearJournal();
    ui_->SetCursorPosition(1, 0, 1200);
    Lines journal = Received();
    ASSERT_GE(journal.size(), 3u);
    EXPECT_EQ(journal[1], "CURSor:SOUrce CH1");
    EXPECT_EQ(journal[2], "DATa:STARt 1200");
    EXPECT_EQ(journal.back(), "CURSor:STATE ON");

    ui_->view.start = 1000;
    ui_->view.width = 400;
    sim_.ClearJournal();
    ui_->Zoom1(0);
    char position[80], scale[80];
    std::snprintf(position, sizeof position, "ZOOm:CH1:HORizontal:POSition %f",
                  static_cast<double>(1200.0f * 100.0f / static_cast<float>(count)));
    std::snprintf(scale, sizeof scale, "ZOOm:CH1:HORizontal:SCAle %f",
                  static_cast<double>(static_cast<float>(count) / 400.0f));
    EXPECT_EQ(Received(), (Lines{position, scale, "ZOOm:CH1:Vertical:SCAle 1", "ZOOm:MODE ON"}));
}

TEST_F(ScopeRoadTest, TheCommandLineDecodesALiveAcquisition) {
    TheOscilloscope().CloseConnection(true);
    DecodeOptions options;
    options.scopeSource = "ch1";
    options.list = "primitives";
    std::ostringstream out, err;
    EXPECT_EQ(RunDecode(options, out, err), kExitOk) << err.str();
    EXPECT_NE(out.str().find("SOF"), std::string::npos) << out.str().substr(0, 400);
    EXPECT_FALSE(TheOscilloscope().Connected());

    sim_.InjectFault(Fault::kBusyForever);
    std::ostringstream out2, err2;
    EXPECT_EQ(RunDecode(options, out2, err2), kExitNotDecoded);
    EXPECT_EQ(err2.str(), "kestrava-decode: ch1: Waveform is not available for analysis\n");
}

// An instrument that hangs in the transfer, and one held by another program, end the
// analysis at their first wait: nothing more is asked (after a curve that timed out, one
// short question, whose silence leaves the acquisition as it is), and the reason follows
// the program's own message in the window and on the command line.
TEST_F(ScopeRoadTest, AnInstrumentThatHangsOrIsHeldEndsTheAnalysisAtTheFirstWait) {
    // The message names the address the instrument's name stands for, on every transport.
    const std::string shown = " (" + address_ + ")";
    const std::string noAnswer = "no answer from GPIB8::1::INSTR" + shown + " within 0.3 s";
    const std::string inUse = "the instrument is in use by another program";
    // Another program's lock: the instrument's lock file held through a description of its own.
    const int other = ::open(visa::ResourceLock::PathFor(LockKey()).c_str(),
                             O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(other, 0);
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "held" : "hanging");
        const std::string reason = held ? inUse : noAnswer;
        if (held)
            ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
        else
            sim_.InjectFault(Fault::kSilentFromCurve);
        Press(0, kAcquireSingleSequence);
        sim_.ClearFaults();
        const Lines journal = Received();
        const Lines last = held ? Lines{"BUSY?"} : Lines{"CURVE?", "ACQuire:STATE?"};
        ASSERT_GE(journal.size(), last.size());
        EXPECT_EQ(Lines(journal.end() - static_cast<long>(last.size()), journal.end()), last);
        EXPECT_NE(
            ui_->StatusText().find("Waveform is not available for analysis\r\n" + reason + "\r\n"),
            std::string::npos)
            << ui_->StatusText();

        if (!held) sim_.InjectFault(Fault::kSilentFromCurve);
        TheOscilloscope().CloseConnection(true);
        DecodeOptions options;
        options.scopeSource = "ch1";
        std::ostringstream out, err;
        EXPECT_EQ(RunDecode(options, out, err), kExitNotDecoded);
        EXPECT_EQ(err.str(),
                  "kestrava-decode: ch1: Waveform is not available for analysis\n"
                  "kestrava-decode: ch1: " +
                      reason + "\n");
        sim_.ClearFaults();
        ::flock(other, LOCK_UN);
        Connect();
    }
    ::close(other);
}

TEST(ScopeCommandLine, ParsesTheSourceAndTheMode) {
    ParsedCommandLine parsed = ParseDecodeCommandLine({"--scope", "MATH4", "--mode", "2"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.scopeSource, "MATH4");
    EXPECT_EQ(parsed.options.acquisitionMode, 2);
    EXPECT_NE(ParseDecodeCommandLine({"--scope", "CH5"}).error, "");
    EXPECT_NE(ParseDecodeCommandLine({"--scope", "CH1", "--mode", "3"}).error, "");
    EXPECT_NE(ParseDecodeCommandLine({"--mode", "1", "file.wfm"}).error, "");
    EXPECT_NE(ParseDecodeCommandLine({"--scope", "CH1", "file.wfm"}).error, "");
}

}  // namespace
}  // namespace kestrava::test

// kestrava-decode --scope HOST,DEVICE --list link against the simulator: one acquisition,
// both sources transferred and decoded as the two lanes of one link, as --lane does with
// two files; and the sources refused with their names.
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "base/MessageBox.h"
#include "tests/instrument/ScopeFixture.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/tools/kestrava-decode/DecodeRun.h"
#include "tools/kestrava-decode/DecodeCommand.h"
#include "tools/kestrava-scopesim/SynthSource.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

using Result = test::DecodeResult;

Result Decode(const Lines& args) {
    return test::RunDecodeCommand(args);
}

class ScopeLinkTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        Folders::PrepareDataFolders();
        SetMessageBoxSink(&messages_);
        synth::CaptureOptions options = scopesim::SynthSource::DefaultOptions();
        options.scenario.name = "link-answers";
        options.analog.samplesPerBit = 10;
        synth_ = std::make_shared<scopesim::SynthSource>(options);
        sim_.SetSource("CH1", scopesim::MakeWaveformSource(synth_));
        sim_.SetSource("CH3", scopesim::MakeOtherLaneSource(synth_));
    }

    void TearDown() override {
        SetMessageBoxSink(nullptr);
        ScopeTest::TearDown();
    }

    RecordingMessageBox messages_;
    std::shared_ptr<scopesim::SynthSource> synth_;
};

// One Single, then both records: the device's answers stand on the host's lines exactly as
// the two lanes' files give them.
TEST_F(ScopeLinkTest, TwoSourcesOfOneAcquisitionDecodeAsOneLink) {
    const std::uint64_t before = sim_.AcquisitionCount();
    sim_.ClearJournal();
    Result r = Decode({"--scope", "CH1,ch3", "--list", "link"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(sim_.AcquisitionCount(), before + 1);
    const Lines journal = Received();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "ACQUIRE:STATE RUN"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "CURVE?"), 2);
    EXPECT_NE(std::find(journal.begin(), journal.end(), "DATa:SOUrce CH3"), journal.end());
    EXPECT_FALSE(TheOscilloscope().Connected());

    EXPECT_EQ(AnsweredLines(r.out), kLinkAnswers);

    // The same lanes from files: the same lines, on the files' own time base.
    const std::string host = Root() + "/host.wfm", device = Root() + "/device.wfm";
    synth::CaptureOptions options = scopesim::SynthSource::DefaultOptions();
    options.scenario.name = "link-answers";
    options.analog.samplesPerBit = 10;
    for (const bool hostLane : {true, false}) {
        options.scenario.hostLane = hostLane;
        options.format = synth::SampleFormat::Int8;
        ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                      options.wfm, hostLane ? host : device, ""),
                  "");
    }
    Result files =
        Decode({"--lane", "host=" + host, "--lane", "device=" + device, "--list", "link"});
    ASSERT_EQ(files.code, kExitOk) << files.err;
    EXPECT_EQ(AnsweredLines(files.out), kLinkAnswers);
}

// A source without a record ends the decode with its name; so does an instrument that
// never completes the acquisition, before the second source is asked for.
TEST_F(ScopeLinkTest, ASourceWithoutARecordIsNamed) {
    sim_.SetSource("CH2", [] { return scopesim::Waveform{}; });
    Result r = Decode({"--scope", "CH1,CH2", "--list", "link"});
    EXPECT_EQ(r.code, kExitNotDecoded);
    EXPECT_EQ(r.err.rfind("kestrava-decode: CH2: Waveform is not available for analysis\n", 0), 0u)
        << r.err;

    sim_.InjectFault(scopesim::Fault::kBusyForever);
    r = Decode({"--scope", "CH1,CH3", "--list", "link"});
    EXPECT_EQ(r.code, kExitNotDecoded);
    EXPECT_EQ(r.err.rfind("kestrava-decode: CH1: Waveform is not available for analysis\n", 0), 0u)
        << r.err;
    EXPECT_EQ(r.err.find("CH3"), std::string::npos) << r.err;
}

TEST(ScopeLinkCommandLine, RefusesSourcesByName) {
    const struct {
        Lines args;
        std::string named;
    } bad[] = {
        {{"--scope", "CH1,CH9", "--list", "link"}, "'CH9'"},
        {{"--scope", "CH1,ch1", "--list", "link"}, "ch1 twice"},
        {{"--scope", "CH1,CH2,CH3", "--list", "link"}, "'CH1,CH2,CH3'"},
        {{"--scope", "CH1,", "--list", "link"}, "not ''"},
        {{"--scope", "CH1,CH2"}, "go with --list link"},
        {{"--scope", "CH1,CH2", "--list", "link", "--lane", "host=a.wfm"}, "lanes' files"},
        {{"--scope", "CH1,CH2", "--list", "link", "--report"}, "without --report"},
    };
    for (const auto& [args, named] : bad) {
        SCOPED_TRACE(args[1]);
        const std::string error = ParseDecodeCommandLine(args).error;
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
    ParsedCommandLine parsed = ParseDecodeCommandLine({"--scope", "REF2,math1", "--list", "link"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.scopeSource, "REF2");
    EXPECT_EQ(parsed.options.deviceScopeSource, "math1");
    parsed = ParseDecodeCommandLine({"--scope", "CH1"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.deviceScopeSource, "");
}

}  // namespace
}  // namespace kestrava::test

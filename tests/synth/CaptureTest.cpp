#include "synth/CaptureGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/support/TempFolders.h"

namespace kestrava::synth {
namespace {

class CaptureTest : public kestrava::test::TempFolders {};

TEST_F(CaptureTest, ManifestDescribesWhatWasSent) {
    CaptureOptions options;
    options.analog.samplesPerBit = 13.333;
    options.analog.startPhaseUi = 0.4;
    const Capture capture = CaptureGenerator::Generate(options);
    const Manifest& m = capture.manifest;
    const SataTraffic& t = capture.traffic;
    const AnalogSynth synth(options.analog);

    ASSERT_EQ(m.Characters().size(), t.characters.size());
    for (std::size_t c = 0; c < t.characters.size(); c += 97) {
        EXPECT_EQ(m.Characters()[c].firstBitSample,
                  std::lround(synth.BitCentreSample(t.characters[c].firstBit)));
        EXPECT_EQ(m.Characters()[c].code, t.characters[c].code);
    }
    EXPECT_EQ(m.Characters()[0].name, "K28.5");
    EXPECT_EQ(m.Characters()[0].role, "ALIGN");
    EXPECT_EQ(m.Primitives().front().name, "ALIGN");
    EXPECT_EQ(m.Primitives()[2].name, "SYNC");

    ASSERT_EQ(m.Frames().size(), 3u);
    EXPECT_EQ(m.Frames()[0].type, 0x27);
    EXPECT_EQ(m.Frames()[0].description, "IDENTIFY DEVICE");
    EXPECT_EQ(m.Characters()[m.Frames()[0].character].role, "FIS 0 dword 0");
    EXPECT_EQ(m.Characters()[m.Frames()[0].character + 20].role, "FIS 0 CRC");
    EXPECT_EQ(m.DataWords().size(), 6u + 6u + 5u);
    EXPECT_EQ(m.DataWords()[0], 0x00EC8027u);
    ASSERT_EQ(m.AtapiCommands().size(), 1u);
    EXPECT_EQ(m.AtapiCommands()[0].opcode, 0x28);
    EXPECT_EQ(m.Characters()[m.AtapiCommands()[0].character].role, "FIS 2 dword 1");
    EXPECT_EQ(m.Bits(), t.bits);
    EXPECT_EQ(capture.record.Size(), synth.SampleCountFor(t.bits.size()));

    const std::string text = m.Text();
    EXPECT_NE(text.find("scenario: session\n"), std::string::npos);
    EXPECT_NE(text.find("samples per bit: 13.333\n"), std::string::npos);
    EXPECT_NE(text.find("frames: 3\n"), std::string::npos);
    EXPECT_NE(text.find("\n2 0x46 Data, character "), std::string::npos);
    EXPECT_NE(text.find("\n  0x00ec8027\n"), std::string::npos);
    const std::string first = "\n0 " + std::to_string(std::lround(synth.BitCentreSample(0))) +
                              " K28.5 0011111010 - ALIGN\n";
    EXPECT_NE(text.find(first), std::string::npos) << first;
}

TEST_F(CaptureTest, FaultsAreListedInTheManifest) {
    CaptureOptions options;
    options.scenario.name = "faults";
    const Capture capture = CaptureGenerator::Generate(options);
    ASSERT_EQ(capture.manifest.Faults().size(), 4u);
    const int invalid = capture.manifest.Faults()[0].character;
    EXPECT_EQ(capture.manifest.Characters()[invalid].name, "Invalid Code");
    const std::string text = capture.manifest.Text();
    EXPECT_NE(text.find("\n[faults]\n# kind character\ninvalid-code " + std::to_string(invalid) +
                        "\nwrong-disparity "),
              std::string::npos);
    EXPECT_NE(text.find(" invalid-code\n"), std::string::npos);
}

TEST_F(CaptureTest, WritesTheCaptureAndManifestAndRefusesBadOptions) {
    CaptureOptions options;
    options.scenario.name = "primitives";
    options.format = SampleFormat::Float32;
    options.wfm.version = 1;
    const Capture capture = CaptureGenerator::Generate(options);
    const std::string wfm = Root() + "/p.wfm", txt = Root() + "/p.txt";
    EXPECT_EQ(CaptureGenerator::WriteFiles(capture, options.wfm, wfm, txt), "");
    EXPECT_EQ(ReadFile(wfm).size(), 820 + (capture.record.Size() + 32) * 4);
    EXPECT_EQ(ReadFile(txt), capture.manifest.Text());
    EXPECT_NE(CaptureGenerator::WriteFiles(capture, options.wfm, Root() + "/none/p.wfm", txt), "");
    EXPECT_NE(CaptureGenerator::WriteFiles(capture, options.wfm, wfm, Root() + "/none/p.txt"), "");

    options.analog.samplesPerBit = 1;
    EXPECT_THROW(CaptureGenerator::Generate(options), std::invalid_argument);
    // About 240 million samples: refused before anything is allocated.
    options.scenario.name = "idle";
    options.analog.samplesPerBit = 10000;
    EXPECT_THROW(CaptureGenerator::Generate(options), std::length_error);
}

// Long captures repeat a scenario: the traffic, frames and all, follows itself.
TEST_F(CaptureTest, ARepeatedScenarioSendsItsTrafficOverAgain) {
    CaptureOptions options;
    options.scenario.name = "session";
    const Capture once = CaptureGenerator::Generate(options);
    options.scenario.repeat = 3;
    const Capture thrice = CaptureGenerator::Generate(options);
    EXPECT_EQ(thrice.traffic.bits.size(), 3 * once.traffic.bits.size());
    ASSERT_EQ(thrice.traffic.frames.size(), 3 * once.traffic.frames.size());
    EXPECT_EQ(thrice.manifest.Frames().size(), 3 * once.manifest.Frames().size());
    EXPECT_EQ(thrice.manifest.Characters().size(), 3 * once.manifest.Characters().size());
    for (int bad : {0, -1, CaptureScenario::kMaxRepeat + 1}) {
        options.scenario.repeat = bad;
        EXPECT_THROW(CaptureGenerator::Generate(options), std::invalid_argument) << bad;
    }
}

// The shipped samples are exactly what the generator makes from the arguments of the
// kestrava-sample-captures target, so their manifests are true.
TEST_F(CaptureTest, ShippedSamplesAreReproducible) {
    struct Sample {
        const char* file;
        CaptureOptions options;
    };
    std::vector<Sample> samples(3);
    samples[0].file = "sata-session";
    samples[0].options.analog.riseTimeS = 120e-12;
    samples[0].options.analog.noiseRmsV = 0.004;
    samples[1].file = "long-data";
    samples[1].options.scenario.name = "long-data";
    samples[1].options.wfm.version = 1;
    samples[1].options.wfm.bigEndian = true;
    samples[1].options.format = SampleFormat::Int16;
    samples[1].options.analog.samplesPerBit = 10;
    samples[1].options.analog.riseTimeS = 150e-12;
    samples[1].options.analog.noiseRmsV = 0.004;
    samples[1].options.analog.seed = samples[1].options.scenario.seed = 2;
    samples[2].file = "noisy-13p333";
    samples[2].options.scenario.name = "fis";
    samples[2].options.wfm.bigEndian = true;
    samples[2].options.analog.samplesPerBit = 13.333;
    samples[2].options.analog.riseTimeS = 150e-12;
    samples[2].options.analog.noiseRmsV = 0.02;
    samples[2].options.analog.jitterRmsS = 10e-12;
    samples[2].options.analog.startPhaseUi = 0.37;
    samples[2].options.analog.seed = samples[2].options.scenario.seed = 3;

    for (const Sample& s : samples) {
        const std::string base = SourceDir() + "/data/Waveforms/" + s.file;
        const Capture capture = CaptureGenerator::Generate(s.options);
        const std::string wfm = Root() + "/" + s.file + ".wfm",
                          txt = Root() + "/" + s.file + ".txt";
        ASSERT_EQ(CaptureGenerator::WriteFiles(capture, s.options.wfm, wfm, txt), "");
        EXPECT_TRUE(ReadFile(txt) == ReadFile(base + ".txt")) << s.file;
        EXPECT_TRUE(ReadFile(wfm) == ReadFile(base + ".wfm")) << s.file;
        EXPECT_LT(ReadFile(base + ".wfm").size(), 700u * 1024u) << s.file;
        // Written a block at a time, as kestrava-capgen makes them.
        CaptureFileOptions file;
        file.wfm = s.options.wfm;
        const CaptureSummary streamed = CaptureGenerator::Write(s.options, file, wfm, txt);
        ASSERT_EQ(streamed.problem, "");
        EXPECT_EQ(streamed.samples, capture.record.Size());
        EXPECT_TRUE(ReadFile(txt) == ReadFile(base + ".txt")) << s.file;
        EXPECT_TRUE(ReadFile(wfm) == ReadFile(base + ".wfm")) << s.file;
    }
}

// The count that refuses a capture too long before it is made is the traffic's own, also
// where a pass starts elsewhere in the ALIGN spacing than the pass before.
TEST_F(CaptureTest, CountedBitsAreTheBitsEveryScenarioSends) {
    for (const auto& info : CaptureScenario::List()) {
        for (int alignInterval : {256, 11, 0}) {
            for (int repeat : {1, 2, 5}) {
                ScenarioOptions options;
                options.name = info.name;
                options.repeat = repeat;
                options.dataBytes = 600;
                options.traffic.alignIntervalDwords = alignInterval;
                options.traffic.contMinimumRun = alignInterval == 0 ? 0 : 4;
                EXPECT_EQ(CaptureScenario::CountBits(options),
                          static_cast<std::int64_t>(CaptureScenario::Build(options).bits.size()))
                    << info.name << " align " << alignInterval << " repeat " << repeat;
            }
        }
    }
}

}  // namespace
}  // namespace kestrava::synth

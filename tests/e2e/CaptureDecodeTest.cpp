// Generated captures of every kind, decoded end to end and compared with the manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "tests/e2e/DecodedCapture.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

using synth::CaptureOptions;
using synth::FaultKind;
using synth::SampleFormat;

struct Case {
    const char* name;
    CaptureOptions options;
    bool invertOption = false;
};
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::string> Texts(const std::vector<Placed>& lines) {
    std::vector<std::string> texts;
    for (const auto& l : lines) texts.push_back(l.text);
    return texts;
}

// Every line at the sample of its sent counterpart, within the capture's tolerance.
void ExpectSamplesMatch(const std::vector<Placed>& decoded, const std::vector<Placed>& sent,
                        long tolerance, const char* what) {
    const std::size_t common = std::min(decoded.size(), sent.size());
    for (std::size_t i = 0; i < common; ++i) {
        ASSERT_EQ(decoded[i].text, sent[i].text)
            << what << " line " << i << ": decoded " << decoded[i] << ", sent " << sent[i];
    }
    ASSERT_EQ(decoded.size(), sent.size())
        << what << ": decoded " << (decoded.empty() ? Placed{} : decoded.back()) << ", sent "
        << (sent.empty() ? Placed{} : sent.back());
    for (std::size_t i = 0; i < decoded.size(); ++i)
        EXPECT_NEAR(decoded[i].sample, sent[i].sample, tolerance) << what << " line " << i;
}

// Primitives, FIS lines, ATAPI lines and data words as the generator sent them.
void ExpectDecodedAsSent(DecodedCapture& c) {
    ASSERT_TRUE(c.Valid()) << c.Ui().StatusText();
    const synth::Manifest& m = c.Manifest();

    // Only the bits before the first and after the last edge are lost: at most the
    // first and the last primitive.
    std::vector<Placed> sentPrimitives = c.SentPrimitives();
    EXPECT_GE(sentPrimitives.size() + 2, m.Primitives().size());
    ExpectSamplesMatch(c.DecodedPrimitives(), sentPrimitives, c.Tolerance(), "primitives");

    std::vector<Placed> fis;
    for (const auto& frame : m.Frames()) {
        for (const std::string& line : ExpectedFisLines(frame)) fis.push_back({frame.sample, line});
    }
    std::vector<Placed> fisLines = c.FisLines();
    ASSERT_EQ(Texts(fisLines), Texts(fis));
    std::size_t line = 0;
    for (const auto& frame : m.Frames()) {
        EXPECT_NEAR(fisLines[line].sample, frame.sample, c.Tolerance()) << fisLines[line];
        line += ExpectedFisLines(frame).size();
    }

    // Every Data frame right after a Register H->D frame counts as a command packet, so
    // the payload of a WRITE DMA EXT shows as one too; the real packets are among them.
    std::vector<Placed> atapi;
    std::uint8_t previousType = 0;
    for (const auto& frame : m.Frames()) {
        if (frame.type == 0x46 && previousType == 0x27) {
            const std::uint8_t opcode = static_cast<std::uint8_t>(frame.dwords.at(1));
            char text[64];
            std::snprintf(text, sizeof text, "CMD 0x%02x    %s", opcode,
                          opcode == 0x28 ? "READ 10" : "UNKNOWN");
            const long sample =
                m.Characters()[static_cast<std::size_t>(frame.character) + 4].firstBitSample;
            atapi.push_back({sample, text});
        }
        previousType = frame.type;
    }
    for (const auto& a : m.AtapiCommands())
        EXPECT_TRUE(std::any_of(atapi.begin(), atapi.end(),
                                [&](const Placed& p) { return p.sample == a.sample; }));
    ExpectSamplesMatch(c.AtapiLines(), atapi, c.Tolerance(), "atapi");

    std::vector<std::uint32_t> dataWords;
    for (const auto& d : c.Ui().Decoder().PrimDecoder()->DataWords()) dataWords.push_back(d.value);
    EXPECT_EQ(dataWords, m.DataWords());
}

class CaptureDecodeTest : public TempFolders, public ::testing::WithParamInterface<Case> {};

TEST_P(CaptureDecodeTest, DecodesWhatTheGeneratorSent) {
    DecodedCapture c(GetParam().options, Root(), GetParam().name, GetParam().invertOption);
    ExpectDecodedAsSent(c);
    // Until the first character that changes the disparity the decoder assumes RD+, so
    // the rest of a cut primitive may be marked, and the first control character when only
    // neutral characters came before it (SYNC cut after K28.3); nothing after it.
    const std::vector<Placed> lines = c.MainLines();
    auto control = std::find_if(lines.begin(), lines.end(),
                                [](const Placed& l) { return l.text.rfind("K", 0) == 0; });
    ASSERT_NE(control, lines.end());
    int early = 0;
    for (const Placed& l : lines) {
        if (l.text.find("   [rd error]") != std::string::npos && l.sample <= control->sample) {
            ++early;
            continue;
        }
        EXPECT_EQ(l.text.find("rd error]"), std::string::npos) << l;
        EXPECT_EQ(l.text.find("Invalid Code"), std::string::npos) << l;
        EXPECT_NE(l.text.rfind("---", 0), 0u) << l;  // no shift or silence line
    }
    const std::string& status = c.Ui().StatusText();
    EXPECT_NE(status.find("RD Errors: 0\r\nInvalid Characters: " + std::to_string(early) + "\r\n"),
              std::string::npos)
        << status;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    auto add = [&](const char* name, auto tweak, bool invertOption = false) {
        Case c{name, {}, invertOption};
        tweak(c.options);
        cases.push_back(c);
    };
    add("clean", [](CaptureOptions&) {});
    add("device_lane_int16_v1_big", [](CaptureOptions& o) {
        o.scenario.hostLane = false;
        o.format = SampleFormat::Int16;
        o.wfm.version = 1;
        o.wfm.bigEndian = true;
    });
    add("every_fis_float", [](CaptureOptions& o) {
        o.scenario.name = "fis";
        o.format = SampleFormat::Float32;
    });
    add("noisy", [](CaptureOptions& o) {
        o.scenario.name = "fis";
        o.analog.riseTimeS = 150e-12;
        o.analog.noiseRmsV = 0.02;
        o.analog.jitterRmsS = 10e-12;
        o.analog.seed = 7;
    });
    add("non_integer_samples_per_bit", [](CaptureOptions& o) {
        o.analog.samplesPerBit = 13.333;
        o.analog.startPhaseUi = 0.4;
        o.analog.riseTimeS = 100e-12;
    });
    add("few_samples_per_bit", [](CaptureOptions& o) {
        o.analog.samplesPerBit = 7.5;
        o.analog.startPhaseUi = 0.7;
    });
    add(
        "inverted",
        [](CaptureOptions& o) {
            o.analog.invert = true;
            o.analog.offsetV = 0.1;
            o.analog.noiseRmsV = 0.005;
        },
        true);
    add("hold_and_align_inside_frames", [](CaptureOptions& o) {
        o.scenario.name = "long-data";
        o.scenario.traffic.alignIntervalDwords = 64;
        o.analog.samplesPerBit = 10;
    });
    add("cont_suppression", [](CaptureOptions& o) { o.scenario.name = "idle"; });
    add("no_cont", [](CaptureOptions& o) { o.scenario.traffic.contMinimumRun = 0; });
    add("every_primitive_positive_start", [](CaptureOptions& o) {
        o.scenario.name = "primitives";
        o.scenario.traffic.startNegative = false;
    });
    // Idle SYNC holds no comma: a capture that starts in it, at any of the ten bit phases,
    // decodes its first frame at the alignment the first ALIGN fixes later.
    static const char* const kPhases[] = {
        "sync_start_phase_0", "sync_start_phase_1", "sync_start_phase_2", "sync_start_phase_3",
        "sync_start_phase_4", "sync_start_phase_5", "sync_start_phase_6", "sync_start_phase_7",
        "sync_start_phase_8", "sync_start_phase_9"};
    for (int phase = 0; phase < 10; ++phase)
        add(kPhases[phase], [phase](CaptureOptions& o) {
            o.scenario.name = "sync-start";
            o.skipBits = phase;
            o.analog.samplesPerBit = 10;
        });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Captures, CaptureDecodeTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrava::test

namespace kestrava::test {
namespace {

class FaultCaptureTest : public TempFolders {};

// The faults scenario: each deliberate fault shows at its character, and the frames
// around them (one with a wrong CRC, shown as sent) decode as sent.
TEST_F(FaultCaptureTest, EachFaultShowsAtItsCharacter) {
    CaptureOptions options;
    options.scenario.name = "faults";
    options.analog.riseTimeS = 100e-12;
    options.analog.noiseRmsV = 0.004;
    DecodedCapture c(options, Root(), "faults");
    ASSERT_TRUE(c.Valid());
    const synth::Manifest& m = c.Manifest();
    const std::vector<Placed> lines = c.MainLines();
    const long tolerance = c.Tolerance();
    // The first line at a character (tags are 1-based sample positions) with this text in it.
    auto lineAt = [&](long sample, const std::string& part, long reach) {
        return std::find_if(lines.begin(), lines.end(), [&](const Placed& l) {
            return l.sample - 1 >= sample - tolerance && l.sample - 1 <= sample + reach &&
                   l.text.find(part) != std::string::npos;
        });
    };
    auto sampleOf = [&](int character) {
        return m.Characters()[static_cast<std::size_t>(character)].firstBitSample;
    };
    ASSERT_EQ(m.Faults().size(), 4u);
    for (const synth::SentFault& fault : m.Faults()) {
        const long at = sampleOf(fault.character);
        SCOPED_TRACE(std::string(synth::FaultName(fault.kind)) + " at sample " +
                     std::to_string(at));
        switch (fault.kind) {
            case FaultKind::InvalidCode:
                EXPECT_NE(lineAt(at, "Invalid Code", tolerance), lines.end());
                break;
            case FaultKind::WrongDisparity:
                EXPECT_NE(lineAt(at, "   [rd error]", tolerance), lines.end());
                break;
            // Inside a SYNC run a slipped reading is itself valid (one bit late SYNC reads as
            // D10.2 D0.6 D10.6 D4.2, two bits early as K23.7 D21.5 D21.5 D17.3), and the
            // alignment scoring favours staying put, so the shift shows where the next
            // primitive breaks that reading, within the following hundred characters.
            case FaultKind::ExtraBit:
            case FaultKind::LostBit:
                EXPECT_NE(lineAt(at, "---", sampleOf(fault.character + 100) - at), lines.end());
                break;
            default:
                ADD_FAILURE() << "unexpected fault";
        }
    }
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const Placed& l) { return l.text == "Invalid Code"; }),
              1);

    std::vector<std::string> fis;
    for (const auto& frame : m.Frames())
        for (const std::string& line : ExpectedFisLines(frame)) fis.push_back(line);
    EXPECT_EQ(Texts(c.FisLines()), fis);
    std::vector<std::uint32_t> dataWords;
    for (const auto& d : c.Ui().Decoder().PrimDecoder()->DataWords()) dataWords.push_back(d.value);
    EXPECT_EQ(dataWords, m.DataWords());
}

}  // namespace
}  // namespace kestrava::test

#include "signal/CSataBitDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "tests/signal/BitDetectorFixture.h"
#include "tests/signal/NrzCapture.h"

namespace kestrava {
namespace {

using test::WfmSpec;

constexpr double kScale = 1.0 / 64.0;  // raw +-32 is +-0.5 V, exactly

// Raw samples holding each value for the given number of samples.
std::vector<double> Runs(std::initializer_list<std::pair<double, int>> runs) {
    std::vector<double> raw;
    for (auto [value, count] : runs) raw.insert(raw.end(), static_cast<std::size_t>(count), value);
    return raw;
}

class BitDetector : public test::BitDetectorFixture {
  protected:
    // 30 GS/s at 1.5 Gb/s: 20 samples per bit.
    WfmSpec Capture(std::vector<double> raw) {
        WfmSpec layout;
        layout.scale = kScale;
        layout.intervalS = 1.0 / 30e9;
        layout.raw = std::move(raw);
        return layout;
    }
    std::vector<std::int8_t> FirstBits(const CSataBitDetector& detector) {
        const BitStream& bits = detector.Bits();
        return {bits.bits.begin(), bits.bits.begin() + bits.bitCount};
    }
    std::vector<std::int32_t> FirstPositions(const CSataBitDetector& detector) {
        const BitStream& bits = detector.Bits();
        return {bits.bitPositions.begin(), bits.bitPositions.begin() + bits.bitCount};
    }
};

TEST_F(BitDetector, RecoversTheWorkedExampleFromAFile) {
    // Rising at 99.5, falling at 159.5 (2 ns, three bits), rising at 234.5 (2.5 ns, four).
    host.DisplayMessage("from before", kShowAndKeep);
    CSataBitDetector detector(
        WriteCapture(Capture(Runs({{-32, 100}, {32, 60}, {-32, 75}, {32, 65}}))), &host, bitRate);
    const WaveformRecord& record = detector.Record();
    ASSERT_EQ(detector.SampleCount(), 300u);
    EXPECT_TRUE(record.voltagesOwned);
    EXPECT_EQ(record.Volt(0), -0.5f);
    EXPECT_EQ(record.Code(0), -32);
    EXPECT_EQ(record.Code(299), 32);
    EXPECT_EQ(record.maximum, 0.5f);
    EXPECT_EQ(record.minimum, -0.5f);
    EXPECT_FLOAT_EQ(record.mean, (125 - 175) * 0.5f / 300);
    EXPECT_EQ(host.GetSignalMax(), 0.5f);
    EXPECT_EQ(host.GetSignalMin(), -0.5f);
    EXPECT_EQ(detector.Threshold(), 0.0f);
    EXPECT_FLOAT_EQ(detector.Hysteresis(), 0.2f);

    const BitStream& bits = detector.Bits();
    ASSERT_EQ(detector.LevelCount(), 300u);
    EXPECT_EQ(detector.Level(99), -1);
    EXPECT_EQ(detector.Level(100), 1);
    // 1.5e9 x 135 samples / 30e9 = 6.75 bits: the fourth low bit is dropped.
    ASSERT_EQ(bits.bitCount, 6);
    EXPECT_EQ(bits.bits.size(), 10u);
    EXPECT_EQ(FirstBits(detector), (std::vector<std::int8_t>{1, 1, 1, -1, -1, -1}));
    EXPECT_EQ(FirstPositions(detector), (std::vector<std::int32_t>{111, 131, 151, 170, 188, 206}));
    EXPECT_EQ(bits.samplesPerBit, 87);  // 0.87255125 x 300 / 3

    EXPECT_EQ(host.StatusText(),
              "from before\r\n"
              "----------------START-----------------\r\n"
              "Source: FILE - capture.wfm\r\n"
              "BIT DETECTION IN PROGRESS....\r\n"
              "Number of Edges: 3 \r\n"
              "BIT DETECTION COMPLETE....\r\n");
    EXPECT_EQ(host.KeptSummary(), "Source: FILE - capture.wfm\r\n");
}

TEST_F(BitDetector, CodesFollowTheFormatsStepAndKeepTheirLowEightBits) {
    struct Case {
        std::int32_t format;
        double scale, offset, raw;
        std::int8_t code;
    };
    const Case cases[] = {
        {7, 0.25, 0.0, 5, 5},         // step = scale
        {7, 0.25, -1.0, -128, -128},  // the offset cancels
        {0, 0.25, 0.0, 1000, 3},      // step = scale x 256: 250 / 64
        {0, 0.25, 0.0, -1000, -3},    // truncated toward zero
        {4, 1.0, 0.0, 1.0, -1},       // step = 256 / 65535: 255.99 -> 255 -> 0xFF
        {1, 1.0, 0.0, 70000, 17},     // 273 keeps its low byte
        {5, 1.0, 0.0, -300.5, -1},   {5, 0.0, 0.0, 1.0, 0},  // a zero step has no code to give
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " raw " << c.raw);
        WfmSpec layout;
        layout.formatCode = c.format;
        layout.scale = c.scale;
        layout.offset = c.offset;
        layout.raw = {c.raw, c.raw};
        CSataBitDetector detector(WriteCapture(layout), &host, bitRate);
        ASSERT_EQ(detector.SampleCount(), 2u);
        EXPECT_EQ(detector.Record().Code(0), c.code);
    }
}

// The load converts the file's volts while reading it; what it keeps must be what the
// volts give sample by sample, whatever the format, across read blocks and with a tail.
TEST_F(BitDetector, LoadedFloatsCodesAndStatisticsFollowTheFilesVolts) {
    struct Case {
        std::int32_t format;
        double scale, offset;
    };
    // An offset that makes some 8-bit samples fall just short of their own code; a
    // negative scale, which turns the largest sample into the smallest volts.
    for (const Case c : {Case{7, 0.003, 0.1}, Case{7, kScale, 0.0}, Case{7, -0.003, 0.2},
                         Case{0, 0.0007, -0.25}, Case{4, 0.01, 0.0}}) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " scale " << c.scale);
        WfmSpec layout = Capture({});
        layout.formatCode = c.format;
        layout.scale = c.scale;
        layout.offset = c.offset;
        for (int i = 0; i < 40003; ++i) layout.raw.push_back((i * 37) % 251 - 125);
        const std::string path = WriteCapture(layout);
        CSataBitDetector detector(path, &host, bitRate);
        ASSERT_EQ(detector.SampleCount(), 40003u);

        RecordDescription curve;
        const std::span<const double> volts =
            WdmLoadWaveformFile(path, 1, ":WFM#001", nullptr, curve);
        ASSERT_EQ(volts.size(), 40003u);
        const double step = c.format == 7   ? c.scale
                            : c.format == 4 ? c.scale * 256.0 / 65535.0
                                            : c.scale * 256.0;
        const WaveformRecord& record = detector.Record();
        float maximum = static_cast<float>(volts[0]), minimum = maximum;
        double sum = 0.0;
        for (std::size_t i = 0; i < volts.size(); ++i) {
            const float f = static_cast<float>(volts[i]);
            ASSERT_EQ(record.Volt(i), f) << i;
            const auto code =
                static_cast<std::int8_t>(static_cast<std::int32_t>((volts[i] - c.offset) / step));
            ASSERT_EQ(record.Code(i), code) << i;
            maximum = std::max(maximum, f);
            minimum = std::min(minimum, f);
            sum += f;
        }
        EXPECT_EQ(record.maximum, maximum);
        EXPECT_EQ(record.minimum, minimum);
        EXPECT_FLOAT_EQ(record.mean, static_cast<float>(sum / 40003.0));
        // Every sample has its level against the threshold, whichever form it is kept in.
        ASSERT_EQ(detector.LevelCount(), 40003u);
        const float threshold = detector.Threshold();
        for (std::size_t i = 0; i < detector.LevelCount(); ++i) {
            const float v = record.Volt(i);
            ASSERT_EQ(detector.Level(i), (v > threshold) - (v < threshold)) << i;
        }
    }
}

TEST_F(BitDetector, AFailedLoadLeavesAnEmptyRecordAndShowsNothing) {
    host.DisplayMessage("kept", kShowAndKeep);
    const std::string status = host.StatusText();
    WriteFile(Tmp() + "/bad.wfm", "not a waveform file at all");
    for (const std::string& path : {Tmp() + "/missing.wfm", Tmp() + "/bad.wfm"}) {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_EQ(detector.SampleCount(), 0u);
        EXPECT_EQ(detector.Bits().bitCount, 0);
        EXPECT_EQ(detector.LevelCount(), 0u);
        EXPECT_EQ(detector.Bits().samplesPerBit, 1);
    }
    EXPECT_EQ(host.StatusText(), status);
    EXPECT_EQ(host.KeptSummary(), "");

    // Without a presentation the constructor logs its failure and stays empty.
    CSataBitDetector orphan(WriteCapture(Capture(Runs({{-32, 10}, {32, 10}}))), nullptr, bitRate);
    EXPECT_EQ(orphan.SampleCount(), 0u);
    EXPECT_NE(ReadFile(Folders::LogFilePath()).find("CSataBitDetector::CSataBitDetector"),
              std::string::npos);
}

TEST_F(BitDetector, AFlatRecordGivesNoBitsAndNoCompletionMessages) {
    CSataBitDetector detector(WriteCapture(Capture(std::vector<double>(1000, 0.0))), &host,
                              bitRate);
    EXPECT_EQ(detector.SampleCount(), 1000u);
    EXPECT_EQ(detector.Bits().bitCount, 0);
    EXPECT_TRUE(detector.Bits().bits.empty());
    EXPECT_EQ(detector.Bits().samplesPerBit, 1);
    EXPECT_EQ(detector.Level(500), 0);  // on the threshold
    EXPECT_EQ(host.StatusText().find("Number of Edges"), std::string::npos);
    EXPECT_EQ(host.StatusText().find("BIT DETECTION COMPLETE"), std::string::npos);
}

TEST_F(BitDetector, ThePathsLastNameIsShownAfterEitherSeparator) {
    std::filesystem::create_directories(Tmp() + "/a\\b");
    WriteFile(Tmp() + "/a\\b/c.wfm", test::BuildWfm(Capture(Runs({{-32, 40}, {32, 40}}))));
    CSataBitDetector detector(Tmp() + "/a\\b/c.wfm", &host, bitRate);
    EXPECT_EQ(host.KeptSummary(), "Source: FILE - c.wfm\r\n");
}

TEST_F(BitDetector, AWaveformFileIsReadWhateverItsName) {
    CSataBitDetector detector(WriteCapture(Capture(Runs({{-32, 40}, {32, 40}})), "capture.bin"),
                              &host, bitRate);
    EXPECT_EQ(detector.SampleCount(), 80u);
    EXPECT_EQ(host.KeptSummary(), "Source: FILE - capture.bin\r\n");
}

TEST_F(BitDetector, RecalculateTakesTheNewThresholdsWithoutRemeasuring) {
    // A runt pulse up to 40.6 % of the span: invisible at 50 %, an edge pair at 30 %.
    CSataBitDetector detector(
        WriteCapture(
            Capture(Runs({{-32, 200}, {32, 200}, {-32, 200}, {-6, 60}, {-32, 140}, {32, 200}}))),
        &host, bitRate);
    EXPECT_NE(host.StatusText().find("Number of Edges: 3 \r\n"), std::string::npos);
    // Ten high bits from 199.5, then twenty low ones.
    ASSERT_GE(detector.Bits().bitCount, 29);
    EXPECT_EQ(detector.Bits().bits[20], -1);

    host.SetRefLevelP("30");
    host.SetHysterisisP("5");
    detector.Recalculate();
    EXPECT_FLOAT_EQ(detector.Threshold(), -0.2f);
    EXPECT_FLOAT_EQ(detector.Hysteresis(), 0.05f);
    EXPECT_EQ(detector.Record().maximum, 0.5f);
    EXPECT_NE(host.StatusText().find("Number of Edges: 5 \r\n"), std::string::npos);
    // The crossings are let go once the bits are laid out.
    EXPECT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 0);
    // The runt's 60 samples are three high bits now.
    const std::vector<std::int8_t> around(detector.Bits().bits.begin() + 19,
                                          detector.Bits().bits.begin() + 24);
    EXPECT_EQ(around, (std::vector<std::int8_t>{-1, 1, 1, 1, -1}));

    // A threshold above the signal finds nothing: the old bits are gone with their count.
    host.SetRefLevelP("200");
    detector.Recalculate();
    EXPECT_EQ(detector.Bits().bitCount, 0);
    EXPECT_TRUE(detector.Bits().bits.empty());
    EXPECT_TRUE(detector.Bits().bitPositions.empty());
    EXPECT_EQ(detector.Bits().samplesPerBit, 1);
    EXPECT_EQ(detector.Level(0), -1);
}

TEST_F(BitDetector, AbsoluteLevelsAndTheAutomaticFiftyPercentRule) {
    const std::string path =
        WriteCapture(Capture(Runs({{-32, 100}, {32, 60}, {-32, 75}, {32, 65}})));
    host.SetIsAbsRefLevel(1);
    host.SetRefLevelAbs("0.1");
    host.SetHysterisisAbs("0.03");
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_FLOAT_EQ(detector.Threshold(), 0.1f);
        EXPECT_FLOAT_EQ(detector.Hysteresis(), 0.03f);
        EXPECT_EQ(detector.Bits().bitCount, 6);
    }
    host.SetRefLevelAbs("5.0");
    host.SetIsAuto50Percent(1);
    SetAcquisitionMode(kAcquireHeldRecord);
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_EQ(host.GetIsAbsRefLevel(), 1);
        EXPECT_FLOAT_EQ(detector.Threshold(), 5.0f);
        EXPECT_EQ(detector.Bits().bitCount, 0);
    }
    SetAcquisitionMode(kAcquireSingleSequence);
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_EQ(host.GetIsAbsRefLevel(), 0);
        EXPECT_FLOAT_EQ(detector.Threshold(), 0.0f);
        EXPECT_EQ(detector.Bits().bitCount, 6);
    }
}

TEST_F(BitDetector, ManyEdgesShowTheDecodeTimeEstimateShortenedByASyncPattern) {
    std::vector<int> alternating(300'001);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = static_cast<int>(i % 2);
    WfmSpec layout = Capture(test::NrzRaw(alternating, 4, 32, -32));
    layout.intervalS = 1.0 / (1.5e9 * 4);
    const std::string path = WriteCapture(layout);

    const char* kEstimate = "APPROXIMATE TIME REMAINING FOR DECODE COMPLETION: ";
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_NE(host.StatusText().find("Number of Edges: 300000 \r\n"), std::string::npos);
        EXPECT_NE(host.StatusText().find(std::string(kEstimate) + "56 seconds\r\n"),
                  std::string::npos);
        EXPECT_EQ(detector.Bits().samplesPerBit, 3);  // 0.87255125 x 1200004 / 300000
    }
    host.ClearStatus();
    host.SetSyncPatternEnabled(true);
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_NE(host.StatusText().find(std::string(kEstimate) + "56 seconds\r\n"),
                  std::string::npos);
    }
    host.ClearStatus();
    host.SetSyncPattern("K28.5 D10.2");
    {
        CSataBitDetector detector(path, &host, bitRate);
        EXPECT_NE(host.StatusText().find(std::string(kEstimate) + "37 seconds\r\n"),
                  std::string::npos);
    }
}

TEST_F(BitDetector, DumpFilesAreWrittenOnlyWhenTheLogFolderExists) {
    std::vector<int> sent{0, 0};
    for (unsigned byte : {0xC3u, 0x5Au, 0xF0u, 0x81u})
        for (int b = 7; b >= 0; --b) sent.push_back(static_cast<int>((byte >> b) & 1u));
    for (int b : {0, 1, 0}) sent.push_back(b);
    const std::string path = WriteCapture(Capture(test::NrzRaw(sent, 20, 32, -32)));
    const std::string log = Folders::DataFolder("Log");

    { CSataBitDetector detector(path, &host, bitRate); }
    EXPECT_FALSE(std::filesystem::exists(log));

    std::filesystem::create_directories(log);
    CSataBitDetector detector(path, &host, bitRate);
    const std::int32_t bitCount = detector.Bits().bitCount;
    ASSERT_GE(bitCount, 33);
    // One line per byte, a set bit for each low bit: the inverted bytes sent.
    EXPECT_EQ(ReadFile(log + "/8bit-dump.csv"), "3c\na5\n0f\n7e\n");
    const std::string markers = ReadFile(log + "/awg-marker-dump.csv");
    EXPECT_EQ(markers.rfind("0,1,0\n0,1,0\n0,0,0\n0,0,0\n0,0,0\n0,0,0\n0,1,0\n0,1,0\n0,0,0\n", 0),
              0u);
    EXPECT_EQ(static_cast<std::int32_t>(std::count(markers.begin(), markers.end(), '\n')),
              bitCount - 8);
}

TEST_F(BitDetector, DestructorLogsItsStartAndEnd) {
    { CSataBitDetector detector(Tmp() + "/missing.wfm", &host, bitRate); }
    const std::string log = ReadFile(Folders::LogFilePath());
    EXPECT_NE(log.find("CSataBitDetector::Start:~CSataBitDetector"), std::string::npos);
    EXPECT_NE(log.find("CSataBitDetector::End:~CSataBitDetector"), std::string::npos);
}

TEST_F(BitDetector, AMissingProtocolDefinitionIsAnErrorInBitDetection) {
    const BitRateSource noDefinition = [] { return std::optional<double>(); };
    CSataBitDetector detector(WriteCapture(Capture(Runs({{-32, 40}, {32, 40}}))), &host,
                              noDefinition);
    EXPECT_EQ(detector.SampleCount(), 80u);
    EXPECT_NE(host.StatusText().find("ERROR IN BIT DETECTION....\r\n"), std::string::npos);
    EXPECT_NE(host.KeptSummary().find("ERROR IN BIT DETECTION...."), std::string::npos);
    EXPECT_NE(
        ReadFile(Folders::LogFilePath()).find("CSataBitDetector::CSataBitDetector::DecoderStart"),
        std::string::npos);
}

}  // namespace
}  // namespace kestrava

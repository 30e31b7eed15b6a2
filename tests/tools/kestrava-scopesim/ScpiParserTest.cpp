// The simulator's pieces on their own: message parsing, curve encoding, the NRZ pattern
// and the record that keeps it as one period.
#include "tools/kestrava-scopesim/ScpiParser.h"

#include <gtest/gtest.h>

#include "tools/kestrava-scopesim/CommandTable.h"
#include "tools/kestrava-scopesim/CurveEncoder.h"
#include "tools/kestrava-scopesim/StoredRecord.h"
#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {
namespace {

TEST(ScpiParserTest, KeywordsMatchShortOrLongFormOnly) {
    EXPECT_TRUE(KeywordMatches("HORizontal", "HOR"));
    EXPECT_TRUE(KeywordMatches("HORizontal", "horizontal"));
    EXPECT_FALSE(KeywordMatches("HORizontal", "HORIZ"));
    EXPECT_FALSE(KeywordMatches("HORizontal", "HO"));
    EXPECT_TRUE(KeywordMatches("BYT_Nr", "BYT_NR"));
    EXPECT_TRUE(KeywordMatches("RECOrdlength", "RecordLength"));
    // Argument words accept anything from the short to the long form.
    EXPECT_TRUE(WordMatches("SRIbinary", "SRIBIN"));
    EXPECT_TRUE(WordMatches("SEQuence", "seq"));
    EXPECT_FALSE(WordMatches("SEQuence", "SE"));
    EXPECT_FALSE(WordMatches("SEQuence", "SEQUENCES"));
    EXPECT_FALSE(WordMatches("SRIbinary", "SRP"));
}

TEST(ScpiParserTest, UnitsSplitOutsideQuotes) {
    EXPECT_EQ(SplitUnits("A 1;B \"x;y\";"), (std::vector<std::string>{"A 1", "B \"x;y\"", ""}));
    EXPECT_EQ(SplitArguments(" 0, \"a,b\" ,7"), (std::vector<std::string>{"0", "\"a,b\"", "7"}));
    EXPECT_EQ(Unquote("\"0011\""), "0011");
}

TEST(ScpiParserTest, UnitHeaderQueryAndArguments) {
    std::string error;
    auto unit = ParseUnit(":TRIGger:A:SERIal:SERDes:PATtern? 0", error);
    ASSERT_TRUE(unit);
    EXPECT_TRUE(unit->rooted);
    EXPECT_TRUE(unit->query);
    EXPECT_EQ(unit->path,
              (std::vector<std::string>{"TRIGGER", "A", "SERIAL", "SERDES", "PATTERN"}));
    EXPECT_EQ(unit->arguments, "0");
    unit = ParseUnit(
        "WFMOutpre:ENCdg\xA0"
        "BIN",
        error);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->arguments, "BIN");
    unit = ParseUnit("*idn?", error);
    ASSERT_TRUE(unit);
    EXPECT_TRUE(unit->common);
    EXPECT_EQ(unit->path, std::vector<std::string>{"*IDN"});
    EXPECT_FALSE(ParseUnit("   ", error));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(ParseUnit("DATA::START 1", error));
    EXPECT_EQ(error, "malformed header");
}

TEST(ScpiParserTest, NumbersInReplies) {
    EXPECT_EQ(Nr3(50), "5.0E+01");
    EXPECT_EQ(Nr3(1.5625e-5), "1.5625E-05");
    EXPECT_EQ(Nr3(-0.25), "-2.5E-01");
    EXPECT_EQ(Nr3(1.0 / 0.0), "9.91E+37");
    EXPECT_EQ(Quoted("a\"b"), "\"a\"\"b\"");
}

TEST(CurveEncoderTest, LevelsAreRoundedClampedAndOrdered) {
    std::vector<float> volts = {0.0f, 0.004f, -10.0f, 10.0f, 0.0062f};
    OutputFormat format;
    format.width = 1;
    Scaling scaling{0.004, 0, 0};
    EXPECT_EQ(EncodeCurveData(volts, 0, 5, format, scaling),
              std::string("\x00\x01\x80\x7F\x02", 5));
    format.width = 2;
    format.msbFirst = false;
    EXPECT_EQ(EncodeCurveData(volts, 1, 1, format, scaling), std::string("\x01\x00", 2));
    format.msbFirst = true;
    EXPECT_EQ(EncodeCurveData(volts, 1, 1, format, scaling), std::string("\x00\x01", 2));
    format.format = NumberFormat::kRP;
    format.width = 1;
    EXPECT_EQ(EncodeCurveData(volts, 2, 2, format, Scaling{0.004, 128, 0}),
              std::string("\x00\xFF", 2));
    // Beyond the record nothing is encoded.
    EXPECT_EQ(EncodeCurveData(volts, 4, 10, format, scaling).size(), 1u);
    EXPECT_EQ(EncodeCurveData(volts, 9, 1, format, scaling), "");
    EXPECT_EQ(DefiniteBlock(std::string(12, 'x')), "#212xxxxxxxxxxxx");
    EXPECT_EQ(DefiniteBlock(""), "#10");
    EXPECT_EQ(BlockHeader(999'999'999), "#9999999999");
    EXPECT_EQ(BlockHeader(1'000'000'000), "#0");
}

TEST(NrzWaveformTest, DeterministicBitsAtTheirRate) {
    Waveform a = MakeNrzWaveform(20 * 127, 5);
    Waveform b = MakeNrzWaveform(20 * 127, 5);
    EXPECT_EQ(a.volts, b.volts);
    EXPECT_DOUBLE_EQ(a.sampleIntervalS, 1.0 / 30e9);
    // Mid-bit samples sit on the two levels; PRBS7 has 64 ones in its 127 bits.
    int ones = 0;
    for (int bit = 0; bit < 127; ++bit) {
        float mid = a.volts[bit * 20 + 10];
        ASSERT_TRUE(mid == 0.25f || mid == -0.25f);
        ones += mid > 0;
    }
    EXPECT_EQ(ones, 64);
    EXPECT_NE(MakeNrzWaveform(2000, 6).volts, a.volts);
}

// The pattern kept as one period is the whole pattern, sample for sample, read one at a
// time or in pieces that cross the period's seams; and it encodes as the whole one does.
TEST(NrzWaveformTest, OnePeriodKeptIsTheWholePattern) {
    for (const int samplesPerBit : {20, 7}) {
        NrzOptions options;
        options.samplesPerBit = samplesPerBit;
        const size_t points = static_cast<size_t>(samplesPerBit) * 127 * 5 + 33;
        const Waveform whole = MakeNrzWaveform(points, 0x33, options);
        const StoredRecord kept = StoredRecord::Nrz(points, 0x33, options);
        ASSERT_EQ(kept.Size(), points);
        EXPECT_EQ(kept.SampleIntervalS(), whole.sampleIntervalS);
        std::vector<float> read(points);
        for (size_t first = 0; first < points; first += 997)
            kept.Read(first, std::min<size_t>(997, points - first), read.data() + first);
        EXPECT_EQ(read, whole.volts) << samplesPerBit;
        for (size_t i = 0; i < points; ++i) ASSERT_EQ(kept.At(i), whole.volts[i]) << i;
        OutputFormat format;
        format.width = 2;
        const Scaling scaling{0.1 / 6400, 0, 0};
        std::string encoded;
        AppendCurveData(encoded, kept, 5, points, format, scaling);
        EXPECT_EQ(encoded, EncodeCurveData(whole.volts, 5, points, format, scaling));
    }
    EXPECT_EQ(StoredRecord::Nrz(100, 1).Size(), 100u);
}

}  // namespace
}  // namespace kestrava::scopesim

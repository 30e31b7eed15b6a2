#include "formats/CQelWfmReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/formats/WfmFileBuilder.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

using test::BuildWfm;
using test::WfmSpec;

class WfmReader : public test::TempFolders {
  protected:
    std::string Write(const std::string& bytes, const std::string& name = "w.wfm") {
        std::string path = Tmp() + "/" + name;
        WriteFile(path, bytes);
        return path;
    }
    int Load(const WfmSpec& layout) { return reader.LoadFile(Write(BuildWfm(layout)), 1); }

    CQelWfmReader reader;
};

// Raw values that exercise the sign and the width of each format.
std::vector<double> RawValuesFor(std::int32_t format) {
    switch (format) {
        case 7:
            return {-128, -1, 0, 1, 127, 5};
        case 0:
            return {-32768, -1, 0, 1, 32767, 300};
        case 1:
            return {-2147483648.0, -1, 0, 1, 2147483647.0, 70000};
        case 2:
            return {0, 1, 4294967295.0, 2147483648.0, 65536, 7};
        case 4:
            return {-1.5, 0.25, 0, 3.0e10, -7.0e-8, 1};
        case 5:
            return {-1.5e200, 0.125, 0, 1.0e-300, 42, -3};
        default:
            return {};
    }
}

TEST_F(WfmReader, ReadsEveryFormatInBothVersionsAndByteOrders) {
    for (std::int32_t format : {7, 0, 1, 2, 4, 5})
        for (bool version3 : {false, true})
            for (bool bigEndian : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "format " << format << " v3 " << version3 << " BE " << bigEndian);
                WfmSpec layout;
                layout.formatCode = format;
                layout.version3 = version3;
                layout.bigEndian = bigEndian;
                layout.scale = 0.5;
                layout.offset = -0.25;
                layout.intervalS = 2.5e-11;
                layout.implicitOffsetS = -1e-6;
                layout.triggerOffsetPoints = 12.0;
                layout.chargeValue = 3;
                layout.raw = RawValuesFor(format);
                ASSERT_EQ(Load(layout), 1);
                EXPECT_EQ(reader.IsByteReversed(), bigEndian);
                EXPECT_EQ(reader.IsVersion3(), version3);
                EXPECT_EQ(reader.CallerFlag(), 1);
                ASSERT_EQ(reader.PointCount(), static_cast<std::int64_t>(layout.raw.size()));
                for (std::size_t i = 0; i < layout.raw.size(); ++i) {
                    double raw = format == 4 ? static_cast<float>(layout.raw[i]) : layout.raw[i];
                    EXPECT_EQ(reader.Points()[i], raw * 0.5 - 0.25) << i;
                }
                const WfmReferenceHeader& h = reader.ReferenceHeader();
                EXPECT_EQ(h.explicit1.formatCode, format);
                EXPECT_EQ(h.explicit1.scale, 0.5);
                EXPECT_EQ(h.explicit1.offset, -0.25);
                EXPECT_EQ(h.explicit1.lowRange, -128);  // a field beyond the first point density
                EXPECT_EQ(std::string(h.explicit1.userUnits.data()), "V");
                EXPECT_EQ(h.explicit2.formatCode, 0);
                EXPECT_EQ(h.explicit2.scale, 1.0);
                EXPECT_EQ(h.implicit1.offset, -1e-6);
                EXPECT_EQ(h.implicit1.horizontalReference, 0.5);
                EXPECT_EQ(h.implicit2.size, 0);
                EXPECT_EQ(h.fractionalSecond, 0.25);
                EXPECT_EQ(h.gmtSecond, 1700000000);
                EXPECT_EQ(h.dataStart, static_cast<std::uint32_t>(16 * test::SampleBytes(format)));
                EXPECT_EQ(reader.SampleIntervalS(), 2.5e-11);
                EXPECT_DOUBLE_EQ(reader.TriggerTimeS(), 12.0 * 2.5e-11);
                EXPECT_EQ(std::string(reader.StaticHeader().label.data()), "test label");
            }
}

TEST_F(WfmReader, BigEndianFileReadsTheSameAsItsLittleEndianTwin) {
    WfmSpec layout;
    layout.formatCode = 0;
    layout.version3 = true;
    for (int i = 0; i < 1000; ++i) layout.raw.push_back((i * 7919) % 65536 - 32768);
    ASSERT_EQ(Load(layout), 1);
    std::vector<double> little(reader.Points().begin(), reader.Points().end());
    layout.bigEndian = true;
    ASSERT_EQ(Load(layout), 1);
    EXPECT_EQ(std::vector<double>(reader.Points().begin(), reader.Points().end()), little);
}

TEST_F(WfmReader, SkipsTheChargePointsAndCountsSizeLessThirtyTwo) {
    WfmSpec layout;
    layout.raw.assign(10000, 0);
    for (int i = 0; i < 10000; ++i) layout.raw[i] = i % 100 - 50;
    layout.chargeValue = 99;
    ASSERT_EQ(Load(layout), 1);
    EXPECT_EQ(reader.ReferenceHeader().implicit1.size, 10032);
    ASSERT_EQ(reader.PointCount(), 10000);
    EXPECT_DOUBLE_EQ(reader.Points()[0], -0.5);
    EXPECT_DOUBLE_EQ(reader.Points()[9999], 0.49);
}

TEST_F(WfmReader, MinusOneTwentyEightAtOneHundredthIsMinusOnePointTwoEight) {
    WfmSpec layout;
    layout.raw = {-128};
    ASSERT_EQ(Load(layout), 1);
    EXPECT_DOUBLE_EQ(reader.Points()[0], -1.28);
}

TEST_F(WfmReader, SixteenBitFileWhoseSizeLeavesOutLongChargeRegionsKeepsEveryPoint) {
    WfmSpec layout;
    layout.formatCode = 0;
    layout.version3 = true;
    layout.preChargePoints = 32;
    layout.postChargePoints = 32;
    layout.sizeIncludesCharge = false;
    for (int i = 0; i < 1250; ++i) layout.raw.push_back(i);
    ASSERT_EQ(Load(layout), 1);
    ASSERT_EQ(reader.PointCount(), 1250);
    EXPECT_DOUBLE_EQ(reader.Points()[1249], 1249 * 0.01);

    // Charge offsets that point past the file do not count; the size rule applies.
    layout.postChargeStart = 64 + 1250 * 2 + 100000;
    ASSERT_EQ(Load(layout), 1);
    EXPECT_EQ(reader.PointCount(), 1218);
    // Nor do offsets that disagree with the size field by more than the charge points.
    layout.postChargeStart = 64 + 1000 * 2;
    ASSERT_EQ(Load(layout), 1);
    EXPECT_EQ(reader.PointCount(), 1218);
    // Or that split a sample.
    layout.postChargeStart = 64 + 1250 * 2 - 1;
    ASSERT_EQ(Load(layout), 1);
    EXPECT_EQ(reader.PointCount(), 1218);
}

TEST_F(WfmReader, RefusesEveryTruncationOfAFile) {
    for (bool version3 : {false, true}) {
        WfmSpec layout;
        layout.version3 = version3;
        layout.formatCode = 0;
        layout.raw.assign(40, 5);
        const std::string whole = BuildWfm(layout);
        // The data ends where the post-charge points begin.
        const std::size_t needed = whole.size() - 16 * 2;
        ASSERT_EQ(reader.LoadFile(Write(whole), 1), 1);
        ASSERT_EQ(reader.LoadFile(Write(whole.substr(0, needed)), 1), 1);
        const std::string path = Write(whole.substr(0, needed - 1));
        for (std::size_t length = needed; length-- > 0;) {
            std::filesystem::resize_file(path, length);
            ASSERT_EQ(reader.LoadFile(path, 1), 0) << length;
            EXPECT_EQ(reader.PointCount(), 0);
        }
    }
}

TEST_F(WfmReader, Version3WithAVersion1SizedReferenceHeaderIsRefused) {
    WfmSpec layout;
    layout.raw = {};
    std::string v1 = BuildWfm(layout);
    v1.replace(2, 8, ":WFM#003");
    // Static header plus 742 bytes of reference header and no more.
    EXPECT_EQ(reader.LoadFile(Write(v1.substr(0, 78 + 742)), 1), 0);
}

TEST_F(WfmReader, RefusesLyingHeadersWithoutReadingPastTheFile) {
    WfmSpec base;
    base.formatCode = 0;
    base.raw.assign(100, 1);
    ASSERT_EQ(Load(base), 1);

    auto refused = [&](WfmSpec layout, const char* what) {
        EXPECT_EQ(Load(layout), 0) << what;
        EXPECT_EQ(reader.PointCount(), 0) << what;
    };
    // After the data start the file holds 100 points and 16 post-charge points.
    WfmSpec s = base;
    s.implicitSize = 116 + 32;
    EXPECT_EQ(Load(s), 1);
    EXPECT_EQ(reader.PointCount(), 116);
    s.implicitSize = 116 + 32 + 1;
    refused(s, "one point more than the file holds");
    s.implicitSize = 2147483647;
    refused(s, "a huge point count");
    s = base;
    s.implicitSize = 32;
    refused(s, "no points");
    s.implicitSize = -5;
    refused(s, "a negative size");
    s = base;
    s.curveOffset = -100;
    refused(s, "a negative curve offset");
    s.curveOffset = 2147483647;
    refused(s, "a huge curve offset");
    s = base;
    s.dataStart = 0xFFFFFFF0u;
    refused(s, "a huge data start offset");
    s = base;
    s.bytesPerPoint = 1;
    refused(s, "a width that disagrees with the format");
    s = base;
    s.formatCode = 3;
    s.bytesPerPoint = 2;
    refused(s, "an unknown format code");
    s = base;
    s.byteOrderMark = 0x0F0E;
    refused(s, "an unknown byte order mark");
    s = base;
    s.versionText = ":WFM#002";
    refused(s, "an unknown version");
}

TEST_F(WfmReader, MissingFilesAndFoldersAreRefusedAndNothingIsCreated) {
    const std::string missing = Tmp() + "/missing.wfm";
    EXPECT_EQ(reader.LoadFile(missing, 1), 0);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(reader.LoadFile(Tmp(), 1), 0);
    EXPECT_EQ(reader.LoadFile(Write(""), 1), 0);
}

TEST_F(WfmReader, LargeRecordsConvertAcrossReadChunks) {
    WfmSpec layout;
    layout.formatCode = 5;
    layout.bigEndian = true;
    for (int i = 0; i < 100000; ++i) layout.raw.push_back(i);
    ASSERT_EQ(Load(layout), 1);
    ASSERT_EQ(reader.PointCount(), 100000);
    for (int i = 0; i < 100000; i += 997) ASSERT_DOUBLE_EQ(reader.Points()[i], i * 0.01) << i;
    EXPECT_DOUBLE_EQ(reader.Points()[99999], 999.99);
}

// Collects what a streamed import hands over.
class CollectingSink : public RecordSink {
  public:
    explicit CollectingSink(bool accept = true) : accept_(accept) {}
    bool Begin(const RecordDescription& record) override {
        record_ = record;
        announced = record.count;
        return accept_;
    }
    void Take(std::span<const double> block, std::span<const unsigned char> raw) override {
        blocks.push_back(block.size());
        rawBytes += raw.size();
        points.insert(points.end(), block.begin(), block.end());
    }
    std::int64_t announced = -1;
    std::vector<std::size_t> blocks;
    std::size_t rawBytes = 0;
    std::vector<double> points;
    RecordDescription record_;

  private:
    bool accept_;
};

TEST_F(WfmReader, AStreamedImportHandsOverThePointsTheReaderWouldKeep) {
    for (std::int32_t format : {7, 0, 4}) {
        SCOPED_TRACE(format);
        WfmSpec layout;
        layout.formatCode = format;
        layout.bigEndian = format == 0;
        layout.offset = 0.5;
        // Past one read chunk of 8-bit samples, and not a multiple of 16.
        for (int i = 0; i < 300007; ++i) layout.raw.push_back((i * 7) % 200 - 100);
        const std::string path = Write(BuildWfm(layout));
        ASSERT_EQ(reader.LoadFile(path, 1), 1);
        const std::vector<double> kept(reader.Points().begin(), reader.Points().end());

        CollectingSink sink;
        ASSERT_EQ(reader.LoadFile(path, 1, nullptr, nullptr, &sink), 1);
        EXPECT_EQ(sink.announced, 300007);
        EXPECT_EQ(sink.record_.offset, 0.5);
        EXPECT_EQ(reader.PointCount(), 300007);
        EXPECT_TRUE(reader.Points().empty());
        EXPECT_EQ(sink.points, kept);
        EXPECT_EQ(sink.rawBytes, 300007u * static_cast<std::size_t>(WfmSampleSize(format)));
        for (std::size_t k = 0; k + 1 < sink.blocks.size(); ++k)
            EXPECT_EQ(sink.blocks[k] % 16, 0u) << k;
    }
}

TEST_F(WfmReader, ASinkThatRefusesTheRecordFailsTheImport) {
    WfmSpec layout;
    layout.raw = {1, 2, 3};
    CollectingSink sink(false);
    EXPECT_EQ(reader.LoadFile(Write(BuildWfm(layout)), 1, nullptr, nullptr, &sink), 0);
    EXPECT_EQ(sink.announced, 3);
    EXPECT_TRUE(sink.blocks.empty());
    EXPECT_EQ(reader.PointCount(), 0);
}

// A file recorded by a real instrument, with its voltages computed by another reader.
TEST_F(WfmReader, RealFastFrameCaptureMatchesIndependentVoltages) {
    const std::string folder = SourceDir() + "/../shared/real-captures";
    const std::string wfm = folder + "/fastframe-10x1250-int16.wfm";
    const std::string csv = folder + "/fastframe-10x1250-int16.volts.csv";
    if (!std::filesystem::exists(wfm) || !std::filesystem::exists(csv))
        GTEST_SKIP() << "real captures not present";
    ASSERT_EQ(reader.LoadFile(wfm, 1), 1);
    EXPECT_TRUE(reader.IsVersion3());
    EXPECT_FALSE(reader.IsByteReversed());
    EXPECT_EQ(reader.ReferenceHeader().explicit1.formatCode, 0);
    EXPECT_DOUBLE_EQ(reader.SampleIntervalS(), 0.8e-9);
    ASSERT_EQ(reader.PointCount(), 1250);

    std::ifstream in(csv);
    std::string value;
    std::vector<double> expected;
    while (std::getline(in, value, ',') && expected.size() < 1250)
        expected.push_back(std::stod(value));
    ASSERT_EQ(expected.size(), 1250u);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(reader.Points()[i], expected[i], 1e-7) << i;
}

}  // namespace
}  // namespace kestrava

#include "instrument/Wdm.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "base/Folders.h"
#include "tests/formats/WfmFileBuilder.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class WdmModule : public test::TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(WdmStart());
    }
    void TearDown() override {
        WdmStop();
        TempFolders::TearDown();
    }
    std::string WriteWfm(const test::WfmSpec& layout) {
        std::string path = Tmp() + "/m.wfm";
        WriteFile(path, test::BuildWfm(layout));
        return path;
    }
};

TEST_F(WdmModule, ErrorTableHoldsEveryCodeOnceWithItsText) {
    std::set<int> codes;
    for (const WdmErrorEntry& entry : kWdmErrorTexts) {
        EXPECT_TRUE(codes.insert(entry.code).second) << entry.code;
        EXPECT_EQ(WdmGetErrorText(entry.code), entry.text);
    }
    EXPECT_EQ(codes.size(), 12u);
    EXPECT_EQ(*codes.begin(), 1001);
    EXPECT_EQ(*codes.rbegin(), 1012);
    EXPECT_EQ(WdmGetErrorText(kWdmDdiConnectFailed), "DDI_CONNECT FAILED");
    EXPECT_EQ(WdmGetErrorText(kWdmSourceNotActive), "SOURCE NOT ACTIVE");
    EXPECT_EQ(WdmGetErrorText(kWdmFileRecordLengthMismatch), "FILE RECORD LENGTH MISMATCH");
    EXPECT_EQ(WdmGetErrorText(ENOENT), std::strerror(ENOENT));
    EXPECT_EQ(WdmGetErrorText(1013), "");
    EXPECT_EQ(WdmGetLastError(), 0);
}

TEST_F(WdmModule, StartCreatesTheTempFolderAndAFailedStartLeavesNoEngineOrReader) {
    EXPECT_TRUE(std::filesystem::is_directory(Folders::WdmTempFolder()));
    WdmStop();
    // A file where the folder belongs makes the creation fail.
    std::filesystem::remove(Folders::WdmTempFolder());
    WriteFile(Folders::WdmTempFolder(), "x");
    EXPECT_FALSE(WdmStart());
    EXPECT_EQ(WdmGetLastError(), EEXIST);
    EXPECT_FALSE(WdmAddEdgeSearch(0.5f, 0.1f, 0, "RisingEdge"));
    EXPECT_FALSE(WdmFindEdgesInData(std::vector<float>{0, 1}));
    test::WfmSpec layout;
    layout.raw = {1, 2, 3};
    RecordDescription curve;
    EXPECT_TRUE(WdmLoadWaveformFile(WriteWfm(layout), 1, ":WFM#001", nullptr, curve).empty());
    EXPECT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 0);

    std::filesystem::remove(Folders::WdmTempFolder());
    EXPECT_TRUE(WdmStart());
    EXPECT_EQ(WdmGetLastError(), 0);
}

TEST_F(WdmModule, LoadReturnsVoltsAndTheCurveDescriptionAndClearsTheSearches) {
    EXPECT_TRUE(WdmAddEdgeSearch(0.5f, 0.1f, 0, "RisingEdge"));
    test::WfmSpec layout;
    layout.formatCode = 0;
    layout.scale = 0.001;
    layout.offset = 0.5;
    layout.raw = {-1000, 0, 1000};
    RecordDescription curve;
    std::span<const double> volts =
        WdmLoadWaveformFile(WriteWfm(layout), 1, ":WFM#001", nullptr, curve);
    ASSERT_EQ(volts.size(), 3u);
    EXPECT_DOUBLE_EQ(volts[0], -0.5);
    EXPECT_DOUBLE_EQ(volts[2], 1.5);
    EXPECT_EQ(curve.scale, 0.001);
    EXPECT_EQ(curve.offset, 0.5);
    EXPECT_EQ(curve.format, SampleFormat::Int16);
    EXPECT_EQ(curve.count, 3);
    EXPECT_TRUE(WdmGetRisingEdgePositions("RisingEdge").empty());
    EXPECT_TRUE(WdmFindEdgesInData(std::vector<float>{0, 1, 0}));
    EXPECT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 0);

    // A failed load gives nothing and a zeroed description.
    WriteFile(Tmp() + "/bad.wfm", "not a waveform");
    EXPECT_TRUE(WdmLoadWaveformFile(Tmp() + "/bad.wfm", 1, ":WFM#001", nullptr, curve).empty());
    EXPECT_EQ(curve.scale, 0.0);
}

TEST_F(WdmModule, SearchesOverFileVoltsUseTheFileTimeBaseAndPointCount) {
    test::WfmSpec layout;
    layout.intervalS = 1e-9;
    layout.implicitOffsetS = -5e-6;
    layout.triggerOffsetPoints = 1000.0;  // trigger time 1e-6 s
    layout.raw.assign(10, 0);
    RecordDescription curve;
    ASSERT_EQ(WdmLoadWaveformFile(WriteWfm(layout), 1, ":WFM#001", nullptr, curve).size(), 10u);

    ASSERT_TRUE(WdmAddEdgeSearch(0.5f, 0.1f, 0, "RisingEdge"));
    ASSERT_TRUE(WdmAddEdgeSearch(0.5f, 0.1f, 1, "FallingEdge"));
    ASSERT_TRUE(WdmAddEdgeSearch(0.5f, 0.1f, 2, "MidEdge"));
    // Twelve volts given, but the file has ten points: the last rise is not searched.
    std::vector<float> volts{0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_TRUE(WdmFindEdgesInData(volts));
    ASSERT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 1);
    ASSERT_EQ(WdmGetFallingEdgeCount("FallingEdge"), 1);
    EXPECT_EQ(WdmGetFallingEdgeCount("RisingEdge"), 0);
    EXPECT_DOUBLE_EQ(WdmGetRisingEdgePositions("RisingEdge")[0], 1.5);
    EXPECT_DOUBLE_EQ(WdmGetFallingEdgePositions("FallingEdge")[0], 4.5);
    EXPECT_TRUE(WdmGetFallingEdgePositions("RisingEdge").empty());
    EXPECT_TRUE(WdmGetFallingEdgeTimes("RisingEdge").empty());
    EXPECT_EQ(WdmGetRisingEdgeCount("MidEdge"), 1);
    EXPECT_EQ(WdmGetFallingEdgeCount("MidEdge"), 1);

    std::vector<double> rising = WdmGetRisingEdgeTimes("RisingEdge");
    ASSERT_EQ(rising.size(), 1u);
    EXPECT_NEAR(rising[0], 1.5e-9 - 5e-6 + 1e-6, 1e-18);
    // Every call hands out a new array of the caller's own.
    rising[0] = 0.0;
    EXPECT_NE(WdmGetRisingEdgeTimes("RisingEdge")[0], 0.0);

    EXPECT_EQ(WdmGetRisingEdgeCount("Unknown"), 0);
    EXPECT_TRUE(WdmGetRisingEdgeTimes("Unknown").empty());
    EXPECT_TRUE(WdmGetRisingEdgePositions("Unknown").empty());
    EXPECT_FALSE(WdmAddEdgeSearch(0.5f, 0.1f, 5, "Bad"));

    WdmClearEdgeSearches();
    EXPECT_EQ(WdmGetRisingEdgeCount("RisingEdge"), 0);
}

}  // namespace
}  // namespace kestrava

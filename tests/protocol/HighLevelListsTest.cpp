#include "protocol/HighLevelLists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "protocol/AtapiCommands.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/FisLayout.h"
#include "tests/protocol/TestLink.h"

namespace kestrava::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class HighLevelListsTest : public DecoderTest {
  protected:
    // Frames separated by idle primitives, decoded into the FIS and ATAPI lists.
    void Decode(const std::vector<std::vector<std::uint32_t>>& frames) {
        TestLink link(*macros_);
        link.Primitive("SYNC", 2);
        for (const auto& frame : frames) link.Primitive("X_RDY").Frame(frame).Primitive("WTRM");
        link.Primitive("SYNC", 2).Bits({1});
        bits_ = link.Stream();
        words_ = std::make_unique<CSataWordDecoder>(bits_, &host_);
        prims_ = std::make_unique<CSataPrimDecoder>(*words_, bits_.samplesPerBit, &host_);
        ASSERT_EQ(prims_->Frames().size(), frames.size());
        GenerateFISList(prims_.get(), &host_, fis_);
        GenerateATAPIList(prims_.get(), &host_, atapi_);
    }
    // Word index of data word k of frame f.
    int At(std::size_t f, int k) const {
        const Frame& frame = prims_->Frames()[f];
        return prims_->DataWords()[static_cast<std::size_t>(frame.start + k)].wordIndex;
    }
    std::vector<int> Data(const MemoryListBox& list) const {
        std::vector<int> data;
        for (int i = 0; i < list.Count(); ++i) data.push_back(list.Data(i));
        return data;
    }

    BitStream bits_;
    std::unique_ptr<CSataWordDecoder> words_;
    std::unique_ptr<CSataPrimDecoder> prims_;
    MemoryListBox fis_, atapi_;
};

TEST_F(HighLevelListsTest, RegisterHostToDeviceShowsEveryField) {
    Decode({{0x80EC8027, 0xE0123456, 0x0A000000, 0x08000102, 0x00000000, 0x12345678}});
    EXPECT_THAT(fis_.Texts(),
                ElementsAre("FIS 0x27 Register H->D", "  Command=0xec", "  Cmd bit=1",
                            "  Dev / Head=0xe0", "  Cyl High=0x12", "  Cyl Low=0x34",
                            "  Sec Num=0x56", "  Features=0x0a", "  Control=0x08",
                            "  Sec Count (exp)=0x01", "  Sec Count=0x02", "  CRC=0x12345678"));
    EXPECT_THAT(Data(fis_),
                ElementsAre(At(0, 0), At(0, 0), At(0, 0), At(0, 1), At(0, 1), At(0, 1), At(0, 1),
                            At(0, 2), At(0, 3), At(0, 3), At(0, 3), At(0, 5)));
}

TEST_F(HighLevelListsTest, RegisterDeviceToHostAndPioSetupShowTheirFields) {
    Decode({{0x51504034, 0xA0FEDCBA, 0x0, 0x00000304, 0x0, 0x89ABCDEF},
            {0x0158605F, 0x40010203, 0x0, 0x7F00AA55, 0x0, 0xFEEDFACE, 0x0}});
    EXPECT_THAT(
        fis_.Texts(),
        ElementsAre("FIS 0x34 Register D->H", "  Error=0x51", "  Status=0x50", "  Int bit=1",
                    "  Dev / Head=0xa0", "  Cyl High=0xfe", "  Cyl Low=0xdc", "  Sec Num=0xba",
                    "  Sec Count (exp)=0x03", "  Sec Count=0x04", "  CRC=0x89abcdef",
                    "FIS 0x5f PIO Setup", "  Error=0x01", "  Status=0x58", "  Int bit=1",
                    "  D bit=1", "  Dev / Head=0x40", "  Cyl High=0x01", "  Cyl Low=0x02",
                    "  Sec Num=0x03", "  E_Status=0x7f", "  Sec Count (exp)=0xaa",
                    "  Sec Count=0x55", "  CRC=0xfeedface"));
    EXPECT_EQ(fis_.Data(23), At(1, 5)) << "the CRC line always reads data word 5";
}

TEST_F(HighLevelListsTest, DataFrameShowsItsWordsThenTheCrc) {
    Decode({{0x00000046, 0xAABBCCDD, 0x01020304},
            {0x00000046, 0x5},
            {0x0000C158},
            {0x60},
            {0x39},
            {0x41},
            {0xA1}});
    EXPECT_THAT(
        fis_.Texts(),
        ElementsAre("FIS 0x46 Data", "  DATA 0xaabbccdd", "  CRC=0x01020304", "FIS 0x46 Data",
                    "  CRC=0x00000005", "FIS 0x58 BIST Activate", "FIS 0x60 Reserved",
                    "FIS 0x39 DMA Activate", "FIS 0x41 DMA Setup", "FIS 0xa1 Set Dev Bits"));
    std::vector<int> data = Data(fis_);
    data.resize(3);
    EXPECT_THAT(data, ElementsAre(At(0, 0), At(0, 1), At(0, 2)));
}

// A frame shorter than its layout shows only the fields inside it; the next frame's words
// never appear in it.
TEST_F(HighLevelListsTest, ShortFramesShowOnlyTheirOwnWords) {
    Decode({{0x80EC8027, 0xE0123456, 0x0A000000}, {}, {0x5F}, {0x00000046}, {0x00000034, 0x1}});
    EXPECT_THAT(
        fis_.Texts(),
        ElementsAre("FIS 0x27 Register H->D", "  Command=0xec", "  Cmd bit=1", "  Dev / Head=0xe0",
                    "  Cyl High=0x12", "  Cyl Low=0x34", "  Sec Num=0x56", "  Features=0x0a",
                    "FIS 0x00 Reserved", "FIS 0x5f PIO Setup", "  Error=0x00", "  Status=0x00",
                    "  Int bit=0", "  D bit=0", "FIS 0x46 Data", "  CRC=0x00000046",
                    "FIS 0x34 Register D->H", "  Error=0x00", "  Status=0x00", "  Int bit=0",
                    "  Dev / Head=0x00", "  Cyl High=0x00", "  Cyl Low=0x00", "  Sec Num=0x01"));
    EXPECT_EQ(prims_->Frames()[1].length, 0);
    EXPECT_EQ(fis_.Data(8), prims_->Frames()[1].sofWordIndex)
        << "an empty frame points at its start";
}

TEST_F(HighLevelListsTest, AtapiCommandIsTheDataFrameRightAfterARegisterFrame) {
    const std::uint32_t hostToDevice = 0x00A08027;
    Decode({{hostToDevice, 0, 0, 0, 0, 0},
            {0x46, 0x00000028, 0x1},
            {0x46, 0x00000012, 0x2},
            {0x00000034, 0, 0, 0, 0, 0},
            {0x46, 0x00000025, 0x3},
            {hostToDevice, 0, 0, 0, 0, 0},
            {0x46, 0x00000099, 0x4},
            {hostToDevice, 0, 0, 0, 0, 0},
            {0x46}});
    EXPECT_THAT(atapi_.Texts(), ElementsAre("CMD 0x28    READ 10", "CMD 0x99    UNKNOWN"));
    EXPECT_THAT(Data(atapi_), ElementsAre(At(1, 1), At(6, 1)));
    ASSERT_EQ(prims_->AtapiCommands().size(), 2u);
    EXPECT_EQ(prims_->AtapiCommands()[0].opcode, 0x28);
}

TEST_F(HighLevelListsTest, ListsAreEmptiedFirstAndLeftAloneWithoutADecoder) {
    Decode({{0x00000046, 0x1}});
    MemoryListBox list;
    list.AddLine("stale", 1);
    GenerateFISList(prims_.get(), nullptr, list);
    EXPECT_THAT(list.Texts(), ElementsAre("FIS 0x46 Data", "  CRC=0x00000001"));
    GenerateFISList(nullptr, &host_, list);
    GenerateATAPIList(nullptr, &host_, list);
    EXPECT_EQ(list.Count(), 2);
    GenerateATAPIList(prims_.get(), &host_, list);
    EXPECT_EQ(list.Count(), 0);
}

TEST(CodeTablesTest, EveryAtapiAndFisEntryIsReachable) {
    std::set<int> opcodes;
    for (const AtapiCommandName& entry : kAtapiCommandNames) {
        EXPECT_TRUE(opcodes.insert(entry.opcode).second)
            << "duplicate opcode " << int{entry.opcode};
        EXPECT_STREQ(AtapiCommandNameOf(entry.opcode), entry.name);
    }
    EXPECT_STREQ(AtapiCommandNameOf(0x99), "UNKNOWN");
    EXPECT_STREQ(AtapiCommandNameOf(0x00), "TEST UNIT READY");
    for (const FisType& entry : kFisTypes) EXPECT_STREQ(FisTypeName(entry.type), entry.name);
    EXPECT_STREQ(FisTypeName(0x60), "Reserved");
    EXPECT_EQ(FisFields(0x27).size(), 11u);
    EXPECT_EQ(FisFields(0x34).size(), 10u);
    EXPECT_EQ(FisFields(0x5F).size(), 12u);
    EXPECT_TRUE(FisFields(0x46).empty());
}

}  // namespace
}  // namespace kestrava::test

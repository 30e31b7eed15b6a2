#include "protocol/CSataPrimDecoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Folders.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/HighLevelLists.h"
#include "protocol/Scrambler.h"
#include "tests/protocol/TestLink.h"

namespace kestrava::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Both decoders of one capture, built like the session driver builds them.
struct Decoded {
    Decoded(const TestLink& link, CAnalysisHost* host)
        : bits(link.Stream()), words(bits, host), prims(words, bits.samplesPerBit, host) {}
    BitStream bits;
    CSataWordDecoder words;
    CSataPrimDecoder prims;
};

std::vector<std::string> PrimitiveNames(const CSataPrimDecoder& prims) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < prims.FoundPrimitives().size(); ++i)
        names.push_back(prims.GetPrimitive(static_cast<int>(i)));
    return names;
}

std::vector<std::uint32_t> Values(const CSataPrimDecoder& prims) {
    std::vector<std::uint32_t> values;
    for (const DataWord& word : prims.DataWords()) values.push_back(word.value);
    return values;
}

std::string SataDefinition(const std::string& standard, const std::string& extraLines = "") {
    return "Custom definitions\nENCODING,8b10b.csv\nTRIGGER_STANDARD," + standard +
           "\nBIT_RATE_PER_SEC,1.5E9\nCOLLECTION_START,SATA\n"
           "ALIGN,K28.5,D10.2,D10.2,D27.3\nCONT,K28.3,D10.5,D25.4,D25.4\n"
           "DMAT,K28.3,D21.5,D22.1,D22.1\nEOF,K28.3,D21.5,D21.6,D21.6\n"
           "HOLD,K28.3,D10.5,D21.6,D21.6\nHOLDA,K28.3,D10.5,D21.4,D21.4\n"
           "PMACK,K28.3,D21.4,D21.4,D21.4\nPMNAK,K28.3,D21.4,D21.7,D21.7\n"
           "PMREQ_P,K28.3,D21.5,D23.0,D23.0\nPMREQ_S,K28.3,D21.4,D21.3,D21.3\n"
           "R_ERR,K28.3,D21.5,D22.2,D22.2\nR_IP,K28.3,D21.5,D21.2,D21.2\n"
           "R_OK,K28.3,D21.5,D21.1,D21.1\nR_RDY,K28.3,D21.4,D10.2,D10.2\n"
           "SOF,K28.3,D21.5,D23.1,D23.1\nSYNC,K28.3,D21.4,D21.5,D21.5\n"
           "WTRM,K28.3,D21.5,D24.2,D24.2\nX_RDY,K28.3,D21.5,D23.2,D23.2\n" +
           extraLines + "COLLECTION_END\n";
}

class PrimDecoderTest : public DecoderTest {};

TEST(ScramblerTest, SequenceStartsAtTheSataSeedAndContinuesUntilReset) {
    EXPECT_EQ(NextScrambleWord(true), 0xC2D2768Du);
    EXPECT_EQ(NextScrambleWord(false), 0x1F26B368u);
    EXPECT_EQ(NextScrambleWord(false), 0xA508436Cu);
    EXPECT_EQ(NextScrambleWord(false), 0x3452D354u);
    EXPECT_EQ(NextScrambleWord(true), 0xC2D2768Du) << "a reset restarts the sequence";

    RefScrambler reference;
    reference.Reset();
    NextScrambleWord(true);
    reference.Next();
    for (int i = 1; i < 70000; ++i) ASSERT_EQ(NextScrambleWord(false), reference.Next()) << i;
}

TEST_F(PrimDecoderTest, FindsPrimitivesButNotNearTheEnd) {
    TestLink link(*macros_);
    link.Primitive("ALIGN", 2).Primitive("SYNC").Primitive("X_RDY").Primitive("R_RDY");
    link.Primitive("SYNC").Char("K28.3").Char("D21.5").Bits({1});
    Decoded d(link, &host_);
    ASSERT_EQ(d.words.WordCount(), 26);

    EXPECT_THAT(PrimitiveNames(d.prims),
                ElementsAre("ALIGN", "ALIGN", "SYNC", "X_RDY", "R_RDY", "SYNC"));
    std::vector<int> at;
    for (const FoundPrimitive& found : d.prims.FoundPrimitives()) at.push_back(found.wordIndex);
    EXPECT_THAT(at, ElementsAre(0, 4, 8, 12, 16, 20));
    int count = 0;
    EXPECT_EQ(d.prims.CheckPrim(24, count), static_cast<int>(macros_->primitives.size()))
        << "fewer words left than the average word count";
    EXPECT_EQ(d.prims.CheckPrim(1, count), -1) << "a data character starts nothing";
    EXPECT_EQ(d.prims.CheckPrim(8, count), kSync);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(d.prims.GetPrimitive(99), "Unknown");
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("Periods of silence: 0 \r\nPrimitives Found: 6 \r\n"
                                               "FIS: 0 \r\nData words in FISs: 0 \r\n"));
    EXPECT_THAT(host_.StatusText(), HasSubstr("PRIMITIVE DECODING IN PROGRESS....\r\n"));
    EXPECT_THAT(host_.StatusText(), HasSubstr("PRIMITIVE DECODING COMPLETE....\r\n"));

    MemoryListBox list;
    list.AddLine("old", 7);
    GeneratePrimsList(&d.prims, &host_, list);
    EXPECT_THAT(list.Texts(), ElementsAre("ALIGN", "ALIGN", "SYNC", "X_RDY", "R_RDY", "SYNC"));
    EXPECT_EQ(list.Data(3), 12);
    GeneratePrimsList(nullptr, &host_, list);
    EXPECT_EQ(list.Count(), 6) << "without a primitive decoder the list stays";
}

TEST_F(PrimDecoderTest, SilenceIsAGapOfMoreThanThirtyBitPeriods) {
    TestLink link(*macros_, 10);
    link.Primitive("SYNC").Pause(250).Primitive("SYNC").Pause(200).Primitive("SYNC").Bits({1});
    Decoded d(link, &host_);
    ASSERT_EQ(d.prims.Silences().size(), 1u);
    EXPECT_EQ(d.prims.Silences()[0].wordIndex, 4);
    EXPECT_EQ(d.prims.Silences()[0].lengthSamples, 350);
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("Periods of silence: 1 \r\n"));
}

TEST_F(PrimDecoderTest, FrameDataWordsAreDescrambled) {
    std::vector<std::uint32_t> plain = {0x00ABCD46, 0x11223344, 0xDEADBEEF, 0x0BADF00D};
    TestLink link(*macros_);
    link.Primitive("SYNC", 2).Primitive("X_RDY").Frame(plain).Primitive("WTRM").Primitive("SYNC",
                                                                                          2);
    link.Bits({0});
    Decoded d(link, &host_);

    EXPECT_THAT(Values(d.prims), ElementsAre(0x00ABCD46u, 0x11223344u, 0xDEADBEEFu, 0x0BADF00Du));
    std::vector<int> at;
    for (const DataWord& word : d.prims.DataWords()) at.push_back(word.wordIndex);
    EXPECT_THAT(at, ElementsAre(16, 20, 24, 28));
    ASSERT_EQ(d.prims.Frames().size(), 1u);
    EXPECT_EQ(d.prims.Frames()[0].start, 0);
    EXPECT_EQ(d.prims.Frames()[0].length, 4);
    EXPECT_EQ(d.prims.Frames()[0].sofWordIndex, 12);
    EXPECT_THAT(PrimitiveNames(d.prims),
                ElementsAre("SYNC", "SYNC", "X_RDY", "SOF", "EOF", "WTRM", "SYNC", "SYNC"));
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("FIS: 1 \r\nData words in FISs: 4 \r\n"));
}

TEST_F(PrimDecoderTest, DataAfterContIsIgnoredUntilTheNextPrimitive) {
    TestLink link(*macros_);
    link.Primitive("SYNC").Primitive("SOF");
    link.scrambler.Reset();
    link.Dword(0x00000046 ^ link.scrambler.Next()).Dword(0x11111111 ^ link.scrambler.Next());
    link.Primitive("HOLD", 2).Primitive("CONT");
    for (int junk = 0; junk < 7; ++junk) link.Value(0x5A + junk);
    link.Primitive("ALIGN");  // number 0 restarts the count but does not end the hold
    link.Value(0x33).Value(0x44);
    link.Primitive("HOLDA");
    link.Dword(0x22222222 ^ link.scrambler.Next()).Dword(0x33333333 ^ link.scrambler.Next());
    link.Primitive("EOF").Primitive("SYNC").Bits({1});
    Decoded d(link, &host_);

    EXPECT_THAT(Values(d.prims), ElementsAre(0x46u, 0x11111111u, 0x22222222u, 0x33333333u));
    ASSERT_EQ(d.prims.Frames().size(), 1u);
    EXPECT_EQ(d.prims.Frames()[0].length, 4);
}

TEST_F(PrimDecoderTest, FrameEndingWhileHeldIsNotCountedAndItsSlotIsReused) {
    TestLink link(*macros_);
    link.Primitive("SOF");
    link.scrambler.Reset();
    link.Dword(0x12345678 ^ link.scrambler.Next());
    link.Primitive("CONT").Value(0x01).Value(0x02).Primitive("EOF");
    link.Frame({0x00000046, 0xCAFEF00D}).Primitive("SYNC").Bits({1});
    Decoded d(link, &host_);

    EXPECT_THAT(Values(d.prims), ElementsAre(0x12345678u, 0x46u, 0xCAFEF00Du));
    ASSERT_EQ(d.prims.Frames().size(), 1u);
    EXPECT_EQ(d.prims.Frames()[0].start, 1);
    EXPECT_EQ(d.prims.Frames()[0].length, 2);
}

TEST_F(PrimDecoderTest, UndefinedControlCharacterInsideAFrameRestartsTheCount) {
    TestLink link(*macros_);
    link.Primitive("SOF");
    link.scrambler.Reset();
    link.Dword(0x0000AA46 ^ link.scrambler.Next());
    link.Char("K28.3").Char("D0.0").Char("D0.0").Char("D0.0");
    link.Dword(0x77665544 ^ link.scrambler.Next());
    link.Primitive("EOF").Primitive("SYNC").Bits({1});
    Decoded d(link, &host_);

    EXPECT_THAT(Values(d.prims), ElementsAre(0x0000AA46u, 0x77665544u));
    EXPECT_THAT(PrimitiveNames(d.prims), ElementsAre("SOF", "EOF", "SYNC"));
}

TEST_F(PrimDecoderTest, UnclosedFrameAtTheEndIsNotCounted) {
    TestLink link(*macros_);
    link.Primitive("SYNC").Primitive("SOF");
    link.scrambler.Reset();
    link.Dword(0x00000046 ^ link.scrambler.Next()).Dword(0x1 ^ link.scrambler.Next());
    link.Value(0x10).Value(0x20).Bits({1});
    Decoded d(link, &host_);
    EXPECT_THAT(Values(d.prims), ElementsAre(0x46u, 0x1u)) << "a partial data word is dropped";
    EXPECT_TRUE(d.prims.Frames().empty());
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("FIS: 0 \r\nData words in FISs: 2 \r\n"));
}

TEST_F(PrimDecoderTest, SingleWordPrimitiveIsRecognisedButNotListed) {
    LoadDefinition(SataDefinition("SATA", "LONE,K28.7\n"));
    ASSERT_EQ(macros_->singleWordTable.size(), 1u);
    TestLink link(*macros_);
    link.Primitive("SYNC").Char("K28.7").Primitive("SYNC", 2).Bits({1});
    Decoded d(link, &host_);
    int count = 0;
    EXPECT_EQ(d.prims.CheckPrim(4, count), 18);
    EXPECT_EQ(count, 1);
    EXPECT_THAT(PrimitiveNames(d.prims), ElementsAre("SYNC", "SYNC", "SYNC"));
}

TEST_F(PrimDecoderTest, BraceWordsMatchListNamesAndRanges) {
    LoadDefinition(SataDefinition("SATA", "BR,K28.1,{D10.2,D21.5},{D1.0-D3.0},D0.0\n"));
    ASSERT_EQ(macros_->primitives.back().brace, 1);
    TestLink link(*macros_);
    auto add = [&](const char* second, const char* third) {
        link.Char("K28.1").Char(second).Char(third).Char("D0.0");
    };
    add("D21.5", "D2.0");  // list and range
    add("D10.2", "D1.0");  // first list name, low end of the range
    add("D21.4", "D2.0");  // not in the list
    add("D10.2", "D4.0");  // past the range
    link.Primitive("SYNC", 2).Bits({1});
    Decoded d(link, &host_);
    EXPECT_THAT(PrimitiveNames(d.prims), ElementsAre("BR", "BR", "SYNC", "SYNC"));
}

TEST_F(PrimDecoderTest, OtherStandardsHaveNoFrames) {
    LoadDefinition(SataDefinition("FC"));
    TestLink link(*macros_);
    link.Primitive("SYNC").Frame({0x00000046, 0x1}).Primitive("SYNC").Bits({1});
    Decoded d(link, &host_);
    EXPECT_TRUE(d.prims.DataWords().empty());
    EXPECT_TRUE(d.prims.Frames().empty());
    EXPECT_THAT(PrimitiveNames(d.prims), ElementsAre("SYNC", "SOF", "EOF", "SYNC"));
    EXPECT_THAT(host_.KeptSummary(), Not(HasSubstr("FIS: ")));
    EXPECT_THAT(host_.KeptSummary(), Not(HasSubstr("Data words in FISs")));
}

TEST_F(PrimDecoderTest, DumpFileListsEveryValidCharacterWhenTheLogFolderExists) {
    TestLink link(*macros_);
    link.Primitive("ALIGN").Code(0).Primitive("SYNC").Bits({1});
    std::string dump = Folders::DataFolder("Log") + "/New-8bit-dump.csv";
    { Decoded d(link, &host_); }
    EXPECT_FALSE(Folders::Exists(dump));

    std::filesystem::create_directories(Folders::DataFolder("Log"));
    WriteFile(dump, "old contents that must go\n");
    Decoded d(link, &host_);
    EXPECT_EQ(ReadFile(dump),
              "bc -  K28.5\n4a -  D10.2\n4a -  D10.2\n7b -  D27.3\n"
              "7c -  K28.3\n95 -  D21.4\nb5 -  D21.5\nb5 -  D21.5\n");
}

TEST_F(PrimDecoderTest, NoWordsIsReportedOnlyWhenThereWereBits) {
    TestLink link(*macros_);
    link.Char("K28.5");
    Decoded tenBits(link, &host_);
    EXPECT_THAT(host_.StatusText(), HasSubstr("NO WORDS FOUND....\r\n"));
    EXPECT_THAT(host_.StatusText(), Not(HasSubstr("PRIMITIVE DECODING")));

    host_.ClearStatus();
    BitStream none;
    CSataWordDecoder words(none, &host_);
    CSataPrimDecoder prims(words, 1, &host_);
    EXPECT_EQ(host_.StatusText(), "");
    EXPECT_TRUE(prims.FoundPrimitives().empty());
}

}  // namespace
}  // namespace kestrava::test

#include "protocol/FrameVerdicts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "protocol/CSataWordDecoder.h"
#include "protocol/HighLevelLists.h"
#include "tests/protocol/TestLink.h"

namespace kestrava::test {
namespace {

// Bit by bit, top bit first: checks the product's table-driven CRC.
std::uint32_t RefCrc(const std::vector<std::uint32_t>& dwords) {
    std::uint32_t crc = 0x52325032u;
    for (std::uint32_t dword : dwords)
        for (int bit = 31; bit >= 0; --bit) {
            const bool feedback = ((crc >> 31) ^ (dword >> bit)) & 1u;
            crc = (crc << 1) ^ (feedback ? 0x04C11DB7u : 0u);
        }
    return crc;
}

std::vector<std::uint32_t> WithCrc(std::vector<std::uint32_t> fis) {
    fis.push_back(RefCrc(fis));
    return fis;
}

// The edges the generated captures do not reach: nothing between SOF and EOF, a frame
// dropped by a new SOF, a Data FIS longer than allowed, a register frame whose CRC the
// table must get right.
TEST_F(DecoderTest, FramesListGivesOneVerdictPerFrameAndTheTotals) {
    std::vector<std::uint32_t> tooLong(2050, 0x5A5A5A5Au);
    tooLong[0] = 0x46;
    struct Case {
        std::function<void(TestLink&)> send;
        std::vector<std::string> lines;
        const char* totals;
    } cases[] = {
        {[](TestLink& l) { l.Primitive("SOF").Primitive("EOF"); },
         {"no FIS, 0 dwords: empty frame"},
         "Frames: 1, CRC errors: 0, malformed: 1"},
        {[](TestLink& l) {
             l.Primitive("SOF");
             l.scrambler.Reset();
             l.Dword(0x27 ^ l.scrambler.Next()).Dword(0 ^ l.scrambler.Next());
             l.Frame(WithCrc({0x39}));
         },
         {"FIS 0x27 Register H->D, 2 dwords: cut short by SOF",
          "FIS 0x39 DMA Activate, 1 dword: CRC OK"},
         "Frames: 2, CRC errors: 0, malformed: 1"},
        {[&](TestLink& l) { l.Frame(WithCrc(tooLong)); },
         {"FIS 0x46 Data, 2050 dwords: CRC OK; length 2050, Data needs 2 to 2049"},
         "Frames: 1, CRC errors: 0, malformed: 1"},
        {[](TestLink& l) {
             l.Frame(WithCrc({0x80EC8027, 0xE0123456, 0x0A000000, 0x08000102, 0}));
             l.Frame({0x00000034, 0x1});
         },
         {"FIS 0x27 Register H->D, 5 dwords: CRC OK",
          "FIS 0x34 Register D->H, 1 dword: CRC error: computed 0x" +
              [] {
                  char hex[9];
                  std::snprintf(hex, sizeof hex, "%08x", RefCrc({0x34}));
                  return std::string(hex);
              }() +
              ", sent 0x00000001; length 1, Register D->H needs 5"},
         "Frames: 2, CRC errors: 1, malformed: 1"},
    };
    for (const Case& c : cases) {
        TestLink link(*macros_);
        link.Primitive("SYNC", 2);
        c.send(link);
        link.Primitive("SYNC", 2).Bits({1});
        BitStream bits = link.Stream();
        CSataWordDecoder words(bits, &host_);
        CSataPrimDecoder prims(words, bits.samplesPerBit, &host_);
        MemoryListBox list;
        host_.ClearKeptSummary();
        GenerateFramesList(&prims, &host_, list);
        EXPECT_EQ(list.Texts(), c.lines);
        EXPECT_EQ(host_.KeptSummary(), std::string(c.totals) + "\r\n");
        const std::vector<FrameRecord>& records = prims.FrameRecords();
        for (int i = 0; i < list.Count() && i < static_cast<int>(records.size()); ++i)
            EXPECT_EQ(list.Data(i), records[static_cast<std::size_t>(i)].frame.sofWordIndex);
    }
}

}  // namespace
}  // namespace kestrava::test

#include "protocol/LinkAnalysis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kestrava {
namespace {

using ::testing::ElementsAreArray;

LaneItem Primitives(const char* name, double startUs, double endUs) {
    LaneItem item;
    item.name = name;
    item.count = 2;
    item.startS = startUs * 1e-6;
    item.endS = endUs * 1e-6;
    return item;
}

LaneItem FrameAt(double startUs, double endUs) {
    LaneItem item = Primitives("FIS 0x27 Register H->D, 5 dwords: CRC OK", startUs, endUs);
    item.frame = true;
    return item;
}

// Each answer the other lane can give, and the lack of one, on the line of the host's item.
TEST(LinkAnalysisTest, EachItemShowsWhatTheOtherLaneAnswered) {
    const std::string frame = "FIS 0x27 Register H->D, 5 dwords: CRC OK";
    struct Case {
        std::vector<LaneItem> host, device;
        std::string hostLine;
    } cases[] = {
        {{Primitives("X_RDY", 0, 1), FrameAt(1, 2)},
         {Primitives("R_RDY", 0.5, 1.5), Primitives("R_IP", 1.5, 2.1), Primitives("R_OK", 2.1, 3)},
         frame + "; after R_RDY; R_OK"},
        {{Primitives("X_RDY", 0, 1), FrameAt(1, 2)},
         {Primitives("R_RDY", 0.5, 1.5), Primitives("R_ERR", 2.1, 3)},
         frame + "; after R_RDY; R_ERR: the receiver refused it"},
        {{Primitives("X_RDY", 0, 1), FrameAt(1, 2)},
         {Primitives("SYNC", 0, 30)},
         frame + "; no R_RDY before it; never acknowledged"},
        {{Primitives("X_RDY", 0, 50)},
         {Primitives("SYNC", 0, 50)},
         "X_RDY x2; handshake stalled: no R_RDY"},
        {{Primitives("HOLD", 3, 4)}, {Primitives("HOLDA", 3.2, 4.1)}, "HOLD x2; answered by HOLDA"},
        {{Primitives("HOLD", 3, 4)}, {Primitives("R_IP", 0, 40)}, "HOLD x2; no HOLDA"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> hostLines;
        for (const LinkLine& line : AnalyseLink(c.host, c.device, LinkLimits{}))
            if (line.hostToDevice) hostLines.push_back(line.text);
        EXPECT_EQ(hostLines.back(), c.hostLine);
    }
}

TEST(LinkAnalysisTest, LinesOfBothLanesGoInTimeOrder) {
    const std::vector<LinkLine> lines =
        AnalyseLink({Primitives("SYNC", 0, 1), Primitives("WTRM", 3, 4)},
                    {Primitives("R_IP", 0.5, 2), Primitives("R_OK", 2, 4)}, {});
    std::vector<std::string> texts;
    for (const LinkLine& line : lines) texts.push_back(line.text);
    EXPECT_THAT(texts, ElementsAreArray({"SYNC x2", "R_IP x2", "R_OK x2", "WTRM x2"}));
    EXPECT_EQ(LinkText(lines).substr(0, 27), "      0.0000 us  H>D  SYNC ");
}

}  // namespace
}  // namespace kestrava

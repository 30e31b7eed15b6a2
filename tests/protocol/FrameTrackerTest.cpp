#include "protocol/FrameTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "protocol/PrimitiveRole.h"
#include "tests/protocol/TestLink.h"

namespace kestrava::test {
namespace {

TEST_F(DecoderTest, PrimitiveRolesAreTheShippedPrimitivesOfTheirNames) {
    const std::pair<PrimitiveRole, const char*> roles[] = {{PrimitiveRole::Align, "ALIGN"},
                                                           {PrimitiveRole::Cont, "CONT"},
                                                           {PrimitiveRole::Eof, "EOF"},
                                                           {PrimitiveRole::Sof, "SOF"}};
    for (const auto& [role, name] : roles)
        EXPECT_EQ(macros_->primitiveNames[static_cast<std::size_t>(RoleNumber(role))], name);
}

// Walks events: S start, E end, C CONT, A ALIGN, P another primitive, d a data character.
// Gives where data words began and the closed frames as start+length.
std::pair<std::string, std::string> Walk(const std::string& events) {
    FrameTracker tracker;
    std::string wordsAt, frames;
    int dataWords = 0;
    for (int i = 0; i < static_cast<int>(events.size()); ++i) {
        char event = events[static_cast<std::size_t>(i)];
        if (event == 'd') {
            if (!tracker.DataCharacter()) continue;
            tracker.Descramble(0);
            ++dataWords;
            wordsAt += std::to_string(i) + ' ';
            continue;
        }
        int number = event == 'S'   ? RoleNumber(PrimitiveRole::Sof)
                     : event == 'E' ? RoleNumber(PrimitiveRole::Eof)
                     : event == 'C' ? RoleNumber(PrimitiveRole::Cont)
                     : event == 'A' ? RoleNumber(PrimitiveRole::Align)
                                    : kSync;
        if (std::optional<Frame> frame = tracker.Primitive(number, i, dataWords))
            frames += std::to_string(frame->start) + '+' + std::to_string(frame->length) + ' ';
    }
    return {wordsAt, frames};
}

TEST(FrameTrackerTest, FramesCloseOnlyWhenOpenAndNotHeld) {
    struct Case {
        const char* events;
        const char* wordsAt;
        const char* frames;
    } cases[] = {
        {"ddddSddddddddE", "8 12 ", "0+2 "},        // the start's own 3 characters lead in
        {"SddddSddddE", "4 9 ", "1+1 "},            // a second start drops the open frame
        {"SddddCddddddddPddddE", "4 18 ", "0+2 "},  // CONT's run is no data, P resumes
        {"SddddCddAddddE", "4 ", ""},               // ALIGN keeps the hold; ends held
        {"SddAddddPddE", "7 ", "0+1 "},             // ALIGN and P restart the count
        {"E", "", ""},
    };
    for (const Case& c : cases) {
        auto [wordsAt, frames] = Walk(c.events);
        EXPECT_EQ(wordsAt, c.wordsAt) << c.events;
        EXPECT_EQ(frames, c.frames) << c.events;
    }
}

}  // namespace
}  // namespace kestrava::test

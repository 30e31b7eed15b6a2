#include "visa/MessageEndTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava::visa {
namespace {

// Feeds the stream in chunks of `chunk` bytes and returns the messages END cut it into;
// a trailing piece without END is returned last with a '~' prefix.
std::vector<std::string> Split(const std::string& stream, size_t chunk) {
    MessageEndTracker tracker;
    std::vector<std::string> messages;
    std::string current;
    size_t at = 0;
    while (at < stream.size()) {
        size_t size = std::min(chunk, stream.size() - at);
        bool ended = false;
        size_t used =
            tracker.Consume(reinterpret_cast<const uint8_t*>(stream.data()) + at, size, ended);
        current += stream.substr(at, used);
        at += used;
        if (ended) {
            messages.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) messages.push_back("~" + current);
    return messages;
}

TEST(MessageEndTrackerTest, CutsTextRepliesAtEachLineFeed) {
    for (size_t chunk : {1u, 3u, 1000u})
        EXPECT_EQ(Split("1\nLSB\n\"s\"\n", chunk),
                  (std::vector<std::string>{"1\n", "LSB\n", "\"s\"\n"}));
}

TEST(MessageEndTrackerTest, BlockDataMayHoldLineFeeds) {
    std::string block = "#210\n\n\n\n\n\n\n\n\n\n\n";  // ten line feeds of data, then the end
    for (size_t chunk : {1u, 2u, 7u, 1000u}) {
        EXPECT_EQ(Split(block + "0\n", chunk), (std::vector<std::string>{block, "0\n"})) << chunk;
    }
}

TEST(MessageEndTrackerTest, LargeBlockIsSkippedWhole) {
    std::string data(100000, '\n');
    std::string block = "#6100000" + data + "\n";
    EXPECT_EQ(Split(block, 65536), std::vector<std::string>{block});
}

TEST(MessageEndTrackerTest, WhatIsNotADefiniteBlockEndsAtTheLineFeed) {
    // Indefinite block, hexadecimal number, a length cut short, a zero length, a '#' in a string.
    EXPECT_EQ(Split("#0ab\ncd\n", 1), (std::vector<std::string>{"#0ab\n", "cd\n"}));
    EXPECT_EQ(Split("#H1F\n", 1), std::vector<std::string>{"#H1F\n"});
    EXPECT_EQ(Split("#3a\nx\n", 1), (std::vector<std::string>{"#3a\n", "x\n"}));
    EXPECT_EQ(Split("#10\n", 1), std::vector<std::string>{"#10\n"});
    EXPECT_EQ(Split("\"#5abc\"\n1\n", 1), (std::vector<std::string>{"\"#5abc\"\n", "1\n"}));
    // A '#' inside a word of free text, e.g. an identity, begins no block.
    EXPECT_EQ(Split("MAKER,QVM#91234,SN\n1\n", 1),
              (std::vector<std::string>{"MAKER,QVM#91234,SN\n", "1\n"}));
    EXPECT_EQ(Split(":CURVE #13a\nb\n", 1), std::vector<std::string>{":CURVE #13a\nb\n"});
    EXPECT_EQ(Split("1;#12\n\n\n", 1), std::vector<std::string>{"1;#12\n\n\n"});
    // A line feed ends even an unbalanced string, so one bad reply spoils nothing after it.
    EXPECT_EQ(Split("\"open\n#13a\nb\n", 1), (std::vector<std::string>{"\"open\n", "#13a\nb\n"}));
}

TEST(MessageEndTrackerTest, ResetForgetsAPartBlock) {
    MessageEndTracker tracker;
    bool ended = false;
    std::string head = "#15ab";
    tracker.Consume(reinterpret_cast<const uint8_t*>(head.data()), head.size(), ended);
    tracker.Reset();
    std::string next = "\n";
    EXPECT_EQ(tracker.Consume(reinterpret_cast<const uint8_t*>(next.data()), 1, ended), 1u);
    EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace kestrava::visa

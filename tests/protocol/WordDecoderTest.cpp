#include "protocol/CSataWordDecoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/protocol/TestLink.h"

namespace kestrava::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The scoring path written the slow, literal way: bit reads, table scans, shift slots.
struct ReferenceWords {
    std::vector<int> rows, expected, starts, ends, shifts;
};

ReferenceWords ReferenceScoring(const CMacros& m, const BitStream& b, bool invert, bool lock) {
    const int n = b.bitCount;
    auto bit = [&](int i) { return b.bits[i] == (invert ? -1 : 1) ? 1 : 0; };
    auto getWord = [&](int p) {
        int code = 0;
        for (int i = 0; i < 10; ++i) code = code * 2 + bit(p + i);
        return code;
    };
    auto checkend = [&](int p) {
        if (p + 10 > n) return false;
        for (int i = 0; i < 10; ++i)
            if (b.bits[p + i] == 2) return true;
        return false;
    };
    auto matchIndex = [&](int code) {
        for (int r = 0; r <= m.lastRow; ++r)
            if (m.code[r] == code) return r;
        return -1;
    };
    ReferenceWords out;
    std::vector<int> shiftSlots(n / 10 + 100, 0);
    auto store = [&](int p) {
        int row = matchIndex(getWord(p));
        int w = static_cast<int>(out.rows.size());
        if (row >= 0) {
            int previous = w > 0 ? out.expected[w - 1] : 0;
            int e = m.disparity[row] == 2 ? (m.disparityChange[row] + previous) & 1
                                          : (m.disparityChange[row] + m.disparity[row]) & 1;
            out.rows.push_back(row);
            out.expected.push_back(e);
        } else {
            if (b.bitPositions[p] <= 0) return;
            out.rows.push_back(-1);
            out.expected.push_back(0);
        }
        out.starts.push_back(b.bitPositions[p]);
        out.ends.push_back(b.bitPositions[p + 9]);
    };
    int flag = 0, p = 0;
    while (p + 10 < n) {
        if (checkend(p)) {
            flag = 0;
            ++p;
            continue;
        }
        int first = matchIndex(getWord(p)) >= 0 ? 1 : 0;
        int s = 0, best = 0, kc = -1;
        for (int a = 0; a < 10; ++a) {
            int score = 0;
            int d = out.rows.empty() ? 0 : out.expected.back();
            for (int j = 0; j < 10; ++j) {
                int q = p + 10 * j + a;
                if (checkend(q)) break;
                if (q + 10 > n) continue;
                int r = matchIndex(getWord(q));
                if (r < 0) continue;
                if (r >= m.firstControlRow) {
                    score += 8;
                    kc = a;
                } else {
                    score += 1;
                    if (m.disparity[r] == d || m.disparity[r] == 2) score += 1;
                }
                d = m.disparity[r] == 2 ? (m.disparityChange[r] + d) & 1
                                        : (m.disparityChange[r] + m.disparity[r]) & 1;
            }
            if (a == 0) {
                if (kc == 0 || flag) score *= 2;
                if (first) score *= 2;
            }
            if (score > best && (kc >= 0 || !lock)) {
                s = a;
                best = score;
            }
        }
        if (s == kc)
            flag = 1;
        else if (s > 0)
            flag = 0;
        shiftSlots[out.rows.size()] = s;
        if (matchIndex(getWord(p + s)) >= 0) {
            store(p + s);
            p = p + s + 10;
        } else {
            store(p + s);
            p = p + 10;
        }
    }
    out.shifts.assign(shiftSlots.begin(), shiftSlots.begin() + static_cast<long>(out.rows.size()));
    return out;
}

// The sync pattern search written the literal way; the offset found, -1 when none.
int ReferenceSyncOffset(const CMacros& m, const BitStream& b,
                        const std::vector<std::string>& names) {
    const int n = b.bitCount;
    auto getWord = [&](int p) {
        int code = 0;
        for (int i = 0; i < 10; ++i) code = code * 2 + (b.bits[p + i] == 1 ? 1 : 0);
        return code;
    };
    auto checkend = [&](int p) {
        if (p + 10 > n) return false;
        for (int i = 0; i < 10; ++i)
            if (b.bits[p + i] == 2) return true;
        return false;
    };
    auto inTable = [&](int code) {
        for (int r = 0; r <= m.lastRow; ++r)
            if (m.code[r] == code) return true;
        return false;
    };
    std::vector<int> codes(names.size() * 2, -1);
    for (std::size_t k = 0; k < names.size(); ++k) {
        for (int r = 0; r <= m.lastRow; ++r) {
            if (m.nameTable[m.value[r]] != names[k]) continue;
            codes[2 * k] = m.code[r];
            codes[2 * k + 1] = m.disparity[r] == 2 ? m.code[r] : m.code[r + 1];
            break;
        }
    }
    const int count = static_cast<int>(names.size());
    int p = 0;
    while (p + 10 < n) {
        if (checkend(p)) {
            p += 11;
            continue;
        }
        for (int a = 0; a < 10; ++a) {
            int matched = 0, k = 0;
            for (int j = 0; j < 10; ++j) {
                int q = p + 10 * j + a;
                if (checkend(q)) break;
                if (q + 10 > n) continue;
                int code = getWord(q);
                if (inTable(code) && (code == codes[2 * k] || code == codes[2 * k + 1])) {
                    ++matched;
                    if (matched < count) ++k;
                    if (matched == count) break;
                } else {
                    matched = 0;
                    k = 0;
                }
            }
            if (matched == count) return a;
        }
        p += 10;
    }
    return -1;
}

std::vector<std::string> Names(const CSataWordDecoder& words) {
    std::vector<std::string> names;
    for (int w = 0; w < words.WordCount(); ++w) names.push_back(words.GetWordName(w));
    return names;
}

std::vector<int> NonZeroShifts(const CSataWordDecoder& words) {
    std::vector<int> at;
    for (int w = 0; w < words.WordCount(); ++w)
        if (words.AlignmentShifts()[w] != 0) at.push_back(w);
    return at;
}

class WordDecoderTest : public DecoderTest {};

TEST_F(WordDecoderTest, ScoringFindsTheAlignmentAfterStrayLeadingBits) {
    TestLink link(*macros_);
    link.Bits({1, 0, 1}).Primitive("ALIGN", 2).Primitive("SYNC", 3).Bits({0});
    BitStream bits = link.Stream();
    CSataWordDecoder words(bits, &host_);

    ASSERT_EQ(words.WordCount(), 20);
    EXPECT_EQ(words.AlignmentShifts()[0], 3);
    EXPECT_THAT(NonZeroShifts(words), ElementsAre(0));
    std::vector<std::string> names = Names(words);
    names.resize(9);
    EXPECT_THAT(names, ElementsAre("K28.5", "D10.2", "D10.2", "D27.3", "K28.5", "D10.2", "D10.2",
                                   "D27.3", "K28.3"));
    for (int w = 0; w < words.WordCount(); ++w) {
        EXPECT_EQ(words.StartPositions()[w], bits.bitPositions[3 + 10 * w]);
        EXPECT_EQ(words.EndPositions()[w], bits.bitPositions[12 + 10 * w]);
        EXPECT_EQ(words.CheckRD(w), 0) << w;
    }
    EXPECT_EQ(words.GetWordValue(0), 261);
    EXPECT_EQ(words.GetWordValue(1), 0x4A);
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("Sync Pattern: NONE\r\nNumber of words: 20\r\n"));
    EXPECT_THAT(host_.StatusText(), HasSubstr("WORD DECODING IN PROGRESS....\r\n"));
    EXPECT_THAT(host_.StatusText(),
                HasSubstr("WORD DECODING COMPLETE....\r\nRemaining Time Estimation....\r\n"));
}

TEST_F(WordDecoderTest, ScoringNeedsMoreThanTenBits) {
    TestLink exact(*macros_);
    exact.Char("K28.5");
    CSataWordDecoder ten(exact.Stream(), &host_);
    EXPECT_EQ(ten.WordCount(), 0);
    EXPECT_TRUE(ten.Decoded());

    exact.Bits({1});
    CSataWordDecoder eleven(exact.Stream(), &host_);
    ASSERT_EQ(eleven.WordCount(), 1);
    EXPECT_EQ(eleven.GetWordName(0), "K28.5");

    CSataWordDecoder none(BitStream{}, &host_);
    EXPECT_FALSE(none.Decoded());
    EXPECT_EQ(none.WordCount(), 0);
    EXPECT_EQ(host_.StatusText().find("Number of words: 0"),
              host_.StatusText().rfind("Number of words: 0"))
        << "an empty stream shows nothing";
}

// Slips right after a control character are followed: an extra bit shifts the next word
// by one, a lost bit makes the next stored word skip nine bits and the damaged word is
// not stored.
TEST_F(WordDecoderTest, ScoringFollowsAnExtraAndALostBit) {
    TestLink extra(*macros_);
    extra.Primitive("SYNC", 3).Char("K28.3").Bits({1}).Char("D21.4").Char("D21.5").Char("D21.5");
    extra.Primitive("SYNC", 3).Bits({0});
    CSataWordDecoder afterExtra(extra.Stream(), &host_);
    ASSERT_EQ(afterExtra.WordCount(), 28);
    EXPECT_THAT(NonZeroShifts(afterExtra), ElementsAre(13));
    EXPECT_EQ(afterExtra.AlignmentShifts()[13], 1);
    EXPECT_EQ(afterExtra.GetWordName(12), "K28.3");
    EXPECT_EQ(afterExtra.GetWordName(13), "D21.4");
    EXPECT_EQ(afterExtra.GetWordName(27), "D21.5");

    TestLink lost(*macros_);
    lost.Primitive("SYNC", 3).Char("K28.3").Char("D21.4").DropBit().Char("D21.5").Char("D21.5");
    lost.Primitive("SYNC", 3).Bits({0});
    CSataWordDecoder afterLost(lost.Stream(), &host_);
    ASSERT_EQ(afterLost.WordCount(), 27);
    EXPECT_THAT(NonZeroShifts(afterLost), ElementsAre(13));
    EXPECT_EQ(afterLost.AlignmentShifts()[13], 9);
    EXPECT_EQ(afterLost.GetWordName(12), "K28.3");
    EXPECT_EQ(afterLost.GetWordName(13), "D21.5");
    EXPECT_EQ(afterLost.GetWordName(15), "K28.3");
}

TEST_F(WordDecoderTest, InvalidCodeIsKeptAsRowMinusOne) {
    TestLink link(*macros_);
    link.Primitive("SYNC", 3).Code(0b0000000000).Primitive("SYNC", 3).Bits({1});
    CSataWordDecoder words(link.Stream(), &host_);
    ASSERT_EQ(words.WordCount(), 25);
    EXPECT_EQ(words.TableRows()[12], -1);
    EXPECT_EQ(words.GetWordName(12), "Invalid Code");
    EXPECT_EQ(words.GetWordValue(12), 0);
    EXPECT_EQ(words.ExpectedDisparities()[12], 0);
    EXPECT_EQ(words.CheckRD(12), 0);
    EXPECT_EQ(words.GetWordName(13), "K28.3");
    // After an invalid code RD+ is expected; the K28.3 that follows was sent at RD-.
    int column = macros_->disparity[words.TableRows()[13]];
    EXPECT_EQ(words.CheckRD(13), column == kSentAtRdMinus ? 1 : 0);
    EXPECT_EQ(words.GetWordName(-1), "");
    EXPECT_EQ(words.GetWordValue(-1), 0);
    EXPECT_EQ(words.CheckRD(0), 0);
}

TEST_F(WordDecoderTest, CheckRDFlagsTwoDisparityChangingCharactersFromTheSameColumn) {
    int plus = -1, minus = -1;
    macros_->GetRDPandMfrom8BitVal(macros_->Get8BitValue("D3.0"), plus, minus);
    TestLink link(*macros_);
    link.Primitive("SYNC", 3).Code(minus).Code(minus).Char("D21.5").Primitive("SYNC", 3).Bits({1});
    CSataWordDecoder words(link.Stream(), &host_);
    ASSERT_EQ(words.GetWordName(12), "D3.0");
    ASSERT_EQ(words.GetWordName(13), "D3.0");
    EXPECT_EQ(macros_->disparity[words.TableRows()[12]], kSentAtRdMinus);
    EXPECT_EQ(words.CheckRD(12), 0);
    EXPECT_EQ(words.CheckRD(13), 1);
    EXPECT_EQ(words.ExpectedDisparities()[13], kSentAtRdPlus);
    // D21.5 is neutral and the same in both columns: never an error.
    EXPECT_EQ(words.CheckRD(14), 0);
}

TEST_F(WordDecoderTest, InvertedStreamDecodesWithTheInvertFlag) {
    TestLink link(*macros_);
    link.Bits({0, 0}).Primitive("ALIGN", 2).Primitive("X_RDY", 2).Bits({1});
    host_.SetInvert(1);
    CSataWordDecoder words(link.Stream(true), &host_);
    ASSERT_EQ(words.WordCount(), 16);
    EXPECT_EQ(words.AlignmentShifts()[0], 2);
    EXPECT_EQ(words.GetWordName(0), "K28.5");
    EXPECT_EQ(words.GetWordName(9), "D21.5");
}

TEST_F(WordDecoderTest, GapBitsAreStepppedOverBitByBit) {
    TestLink link(*macros_);
    link.Primitive("SYNC", 3).Bits({2}).Primitive("SYNC", 3).Bits({1});
    BitStream bits = link.Stream();
    CSataWordDecoder words(bits, &host_);
    ASSERT_EQ(words.WordCount(), 24);
    EXPECT_EQ(words.GetWordName(12), "K28.3");
    EXPECT_EQ(words.StartPositions()[12], bits.bitPositions[121]);
    EXPECT_EQ(words.AlignmentShifts()[12], 0);
}

TEST_F(WordDecoderTest, SyncPatternFixesOneAlignmentForTheWholeCapture) {
    TestLink link(*macros_);
    link.Bits({1, 1, 0}).Primitive("ALIGN").Primitive("SYNC", 2).Bits({1, 0}).Primitive("SYNC", 2);
    BitStream bits = link.Stream();
    host_.SetSyncPattern("K28.5");
    host_.SetSyncPatternEnabled(true);
    CSataWordDecoder words(bits, &host_);

    ASSERT_EQ(words.WordCount(), (bits.bitCount - 3) / 10);
    for (int w = 0; w < words.WordCount(); ++w) {
        EXPECT_EQ(words.StartPositions()[w], bits.bitPositions[3 + 10 * w]);
        EXPECT_EQ(words.AlignmentShifts()[w], 0);
    }
    EXPECT_EQ(words.GetWordName(0), "K28.5");
    EXPECT_EQ(words.GetWordName(4), "K28.3");
    // No realignment after the two stray bits: the rest is read two bits off.
    EXPECT_NE(words.GetWordName(13), "D21.4");
    EXPECT_THAT(host_.KeptSummary(),
                HasSubstr("Sync Pattern: K28.5\r\nSync Pattern Found: YES\r\n"));
}

TEST_F(WordDecoderTest, SyncPatternOfSeveralNamesMatchesThemInOrder) {
    TestLink link(*macros_);
    link.Bits({0, 1, 0, 1, 1}).Primitive("ALIGN", 3).Bits({0});
    BitStream bits = link.Stream();
    host_.SetSyncPatternEnabled(true);

    host_.SetSyncPattern("K28.5, D10.2 ,D10.2,D27.3");
    CSataWordDecoder whole(bits, &host_);
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("Sync Pattern Found: YES"));
    ASSERT_GT(whole.WordCount(), 0);
    EXPECT_EQ(whole.StartPositions()[0], bits.bitPositions[5]);

    host_.ClearKeptSummary();
    host_.SetSyncPattern("K28.5,D27.3");
    CSataWordDecoder wrongOrder(bits, &host_);
    EXPECT_THAT(host_.KeptSummary(), HasSubstr("Sync Pattern Found: NO"));
    EXPECT_EQ(wrongOrder.StartPositions()[0], bits.bitPositions[0]);
}

TEST_F(WordDecoderTest, SyncPatternThatNeverOccursDecodesFromBitZero) {
    TestLink link(*macros_);
    link.Bits({1}).Primitive("SYNC", 3);
    BitStream bits = link.Stream();
    host_.SetSyncPatternEnabled(true);
    for (const char* pattern : {"K28.5", "K99.9", "K28.3,"}) {
        host_.ClearKeptSummary();
        host_.SetSyncPattern(pattern);
        CSataWordDecoder words(bits, &host_);
        EXPECT_THAT(host_.KeptSummary(), HasSubstr("Sync Pattern Found: NO")) << pattern;
        ASSERT_EQ(words.WordCount(), bits.bitCount / 10) << pattern;
        EXPECT_EQ(words.StartPositions()[0], bits.bitPositions[0]);
    }
    // A disabled pattern is not used.
    host_.SetSyncPatternEnabled(false);
    CSataWordDecoder scored(bits, &host_);
    EXPECT_EQ(scored.AlignmentShifts()[0], 1);
}

// The table-driven scoring gives exactly the literal algorithm's words on streams full of
// slips, junk codes, gaps and pauses, with and without the second decode option; from the
// first comma on, as before it the comma's alignment is carried back.
TEST_F(WordDecoderTest, ScoringMatchesTheLiteralAlgorithmOnRandomTraffic) {
    const char* primitives[] = {"ALIGN", "SYNC", "X_RDY", "R_RDY", "SOF",
                                "EOF",   "HOLD", "CONT",  "R_IP"};
    std::mt19937 random(20240611);
    for (int round = 0; round < 40; ++round) {
        TestLink link(*macros_, 1 + static_cast<int>(random() % 12));
        for (int item = 0; item < 150; ++item) {
            unsigned pick = random() % 100;
            if (pick < 35)
                link.Primitive(primitives[random() % 9]);
            else if (pick < 80)
                link.Value(static_cast<int>(random() % 256));
            else if (pick < 86)
                link.Bits({static_cast<int>(random() % 2)});
            else if (pick < 91 && link.BitCount() > 0)
                link.DropBit();
            else if (pick < 95)
                link.Code(static_cast<int>(random() % 1024));
            else if (pick < 97)
                link.Bits({2});
            else
                link.Pause(static_cast<int>(random() % 500));
        }
        bool invert = round % 3 == 1;
        bool lock = round % 4 == 2;
        BitStream bits = link.Stream(invert);
        host_.SetInvert(invert);
        host_.SetLockSampler(lock);
        CSataWordDecoder words(bits, &host_);
        ReferenceWords expected = ReferenceScoring(*macros_, bits, invert, lock);

        int comma = 0;
        while (comma < words.WordCount() && words.GetWordName(comma) != "K28.1" &&
               words.GetWordName(comma) != "K28.5" && words.GetWordName(comma) != "K28.7")
            ++comma;
        if (comma == words.WordCount()) comma = 0;
        int from = 0;
        while (from < static_cast<int>(expected.starts.size()) &&
               expected.starts[static_cast<std::size_t>(from)] != words.StartPositions()[comma])
            ++from;
        ASSERT_EQ(words.WordCount() - comma, static_cast<int>(expected.rows.size()) - from)
            << round;
        for (int w = comma; w < words.WordCount(); ++w) {
            const std::size_t e = static_cast<std::size_t>(w - comma + from);
            ASSERT_EQ(words.TableRows()[w], expected.rows[e]) << round << " word " << w;
            ASSERT_EQ(words.ExpectedDisparities()[w], expected.expected[e]) << round << " " << w;
            ASSERT_EQ(words.StartPositions()[w], expected.starts[e]) << round << " " << w;
            ASSERT_EQ(words.EndPositions()[w], expected.ends[e]) << round << " " << w;
            // The comma follows the words carried back without a shift.
            if (w > comma || comma == 0) {
                ASSERT_EQ(words.AlignmentShifts()[w], expected.shifts[e]) << round << " " << w;
            }
        }
    }
}

TEST_F(WordDecoderTest, SyncSearchMatchesTheLiteralAlgorithmOnRandomTraffic) {
    const std::vector<std::vector<std::string>> patterns = {
        {"K28.5"}, {"K28.3", "D21.5"}, {"D21.5", "D21.5"}, {"K28.5", "D10.2", "D10.2", "D27.3"},
        {"D23.1"}, {"K28.7"},          {"K28.3", "D0.0"},  {"D10.2", "D27.3", "K28.3"}};
    const char* primitives[] = {"ALIGN", "SYNC", "X_RDY", "SOF", "EOF", "HOLD", "CONT"};
    std::mt19937 random(77);
    host_.SetSyncPatternEnabled(true);
    std::set<int> offsetsSeen;
    for (int round = 0; round < 60; ++round) {
        TestLink link(*macros_);
        for (int item = 0; item < 120; ++item) {
            unsigned pick = random() % 100;
            if (pick < 15)
                link.Primitive(primitives[random() % 7]);
            else if (pick < 90)
                link.Value(static_cast<int>(random() % 256));
            else if (pick < 96)
                link.Bits({static_cast<int>(random() % 2)});
            else if (round % 2)
                link.Bits({2});
        }
        BitStream bits = link.Stream();
        const auto& names = patterns[static_cast<std::size_t>(round) % patterns.size()];
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
        host_.SetSyncPattern(text);
        host_.ClearKeptSummary();
        CSataWordDecoder words(bits, &host_);

        int offset = ReferenceSyncOffset(*macros_, bits, names);
        offsetsSeen.insert(offset);
        EXPECT_NE(host_.KeptSummary().find(offset >= 0 ? "Found: YES" : "Found: NO"),
                  std::string::npos)
            << round;
        int from = std::max(offset, 0);
        ASSERT_EQ(words.WordCount(), (bits.bitCount - from) / 10) << round;
        EXPECT_EQ(words.StartPositions()[0], bits.bitPositions[from]) << round << " " << text;
    }
    EXPECT_GE(offsetsSeen.size(), 5u) << "found and missed patterns at several offsets";
    EXPECT_TRUE(offsetsSeen.count(-1));
}

TEST_F(WordDecoderTest, WithoutADefinitionEveryWordIsInvalid) {
    TestLink link(*macros_);
    link.Primitive("SYNC", 2).Bits({1});
    BitStream bits = link.Stream();
    SetTheMacros(nullptr);
    CSataWordDecoder words(bits, &host_);
    ASSERT_EQ(words.WordCount(), 8);
    EXPECT_EQ(words.GetWordName(0), "Invalid Code");
    EXPECT_EQ(words.GetWordValue(0), 0);
    SetTheMacros(macros_.get());
}

TEST_F(WordDecoderTest, LongCaptureWarnsOfTheRemainingTime) {
    TestLink link(*macros_, 2);
    for (int i = 0; i < 6500; ++i) link.Primitive("SYNC");
    link.Bits({1});
    CSataWordDecoder words(link.Stream(), &host_);
    ASSERT_EQ(words.WordCount(), 26000);
    EXPECT_THAT(host_.StatusText(),
                HasSubstr("REMAINING TIME CALCULATION..........., COMPLETION of decoding in: 16 "
                          "seconds\r\n"));
}

}  // namespace
}  // namespace kestrava::test

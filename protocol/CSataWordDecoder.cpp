#include "protocol/CSataWordDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/CAnalysisHost.h"
#include "base/Guard.h"
#include "base/Log.h"
#include "base/Text.h"
#include "definition/CMacros.h"

namespace kestrava {
namespace {

// Score step of a 10-bit code, one per expected disparity d (0 or 1): bits 5d to 5d+3
// hold what the code adds to a score, bit 5d+4 the disparity expected after it. Bit 10
// marks a control character, bit 11 a code in the table. A code not in the table adds
// nothing and leaves the disparity as it was.
constexpr int kStepBitsPerDisparity = 5;
constexpr std::uint16_t kStepIncrementMask = 0x0F;
constexpr int kStepNextShift = 4;
constexpr std::uint16_t kStepControl = 1u << 10;
constexpr std::uint16_t kStepValid = 1u << 11;
constexpr std::uint16_t kInvalidStep = 1u << (kStepBitsPerDisparity + kStepNextShift);

constexpr int kWindowWords = 10;
constexpr int kWordBits = 10;
constexpr std::size_t kMaxSyncNames = 4;
// The comma characters K28.1, K28.5 and K28.7 begin with 0011111 (or 1100000); no other
// valid code and no pair of valid codes shows the sequence anywhere else.
constexpr unsigned kCommaMinus = 0b0011111;
constexpr unsigned kCommaPlus = 0b1100000;
constexpr int kUnknownDisparity = -1;

// At most four names; a trailing comma gives an empty last name.
std::vector<std::string> SplitSyncNames(const std::string& text) {
    std::vector<std::string> names;
    std::size_t from = 0;
    while (names.size() < kMaxSyncNames) {
        std::size_t comma = text.find(',', from);
        const std::string_view name = std::string_view(text).substr(
            from, comma == std::string::npos ? std::string::npos : comma - from);
        names.emplace_back(Trim(name, kLineBlanks));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return names;
}

// The part of a step that applies under expected disparity d.
inline unsigned StepFor(std::uint16_t step, int d) {
    return static_cast<unsigned>(step) >> (kStepBitsPerDisparity * d);
}
inline int NextDisparity(unsigned step) {
    return static_cast<int>((step >> kStepNextShift) & 1u);
}

}  // namespace

CSataWordDecoder::CSataWordDecoder(const BitStream& bits, CAnalysisHost* host) : host_(host) {
    Guard(logSource_, "CSataWordDecoder", [&] { DecodeWords(bits); });
}

CSataWordDecoder::~CSataWordDecoder() {
    WriteLog(logSource_, "Start:~CSataWordDecoder", kLogError);
    WriteLog(logSource_, "End:~CSataWordDecoder", kLogError);
}

void CSataWordDecoder::Show(const std::string& text, int mode) const {
    if (host_) host_->DisplayMessage(text, mode);
}

void CSataWordDecoder::DecodeWords(const BitStream& bits) {
    // A stage that fails part way says so, as bit recovery does: its lists are no result.
    const bool finished = Guard(logSource_, "DecodeWords", [&] {
        if (bits.bitCount <= 0 || bits.bits.empty()) return;
        decoded_ = true;
        Show("WORD DECODING IN PROGRESS....", kShow);

        const CMacros* macros = TheMacros();
        BuildCodeSteps(macros);
        Stream stream;
        PrepareStream(bits, stream);

        std::size_t expected = static_cast<std::size_t>(stream.bitCount / kWordBits + 100);
        tableRows_.reserve(expected);
        expectedDisparity_.reserve(expected);
        startPositions_.reserve(expected);
        endPositions_.reserve(expected);
        alignmentShifts_.reserve(expected);

        if (host_ && host_->GetSyncPatternEnabled() && !host_->GetSyncPattern().empty())
            SyncPatternPath(stream, macros);
        else
            ScoringPath(stream);

        char text[160];
        std::snprintf(text, sizeof text, "Number of words: %d", WordCount());
        Show(text, kShowAndKeep);
        Show("WORD DECODING COMPLETE....", kShow);
        Show("Remaining Time Estimation....", kShow);
        int seconds = static_cast<int>(WordCount() * 0.0006 + 0.644089);
        if (seconds > 15) {
            std::snprintf(text, sizeof text,
                          "REMAINING TIME CALCULATION..........., COMPLETION of decoding in: "
                          "%i seconds",
                          seconds);
            Show(text, kShow);
        }
    });
    if (!finished) Show("ERROR IN WORD DECODING....", kShowAndKeep);
}

// One look-up per code replaces the scan of the code table: its row, and the score it
// earns under either expected disparity.
void CSataWordDecoder::BuildCodeSteps(const CMacros* macros) {
    for (std::size_t code = 0; code < codeRows_.size(); ++code) {
        int row = macros ? macros->RowOfCode(static_cast<int>(code)) : -1;
        if (row < 0 || row >= CMacros::kMaxRows) {
            codeRows_[code] = -1;
            codeSteps_[code] = kInvalidStep;
            codeColumns_[code] = kSentAtBoth;
            continue;
        }
        std::size_t r = static_cast<std::size_t>(row);
        int column = macros->disparity[r];
        codeColumns_[code] = static_cast<std::int8_t>(column);
        int change = macros->disparityChange[r];
        bool control = row >= macros->firstControlRow;
        unsigned step = kStepValid | (control ? kStepControl : 0u);
        for (int d = 0; d < 2; ++d) {
            int increment = control ? 8 : 1 + (column == d || column == kSentAtBoth ? 1 : 0);
            int next = column == kSentAtBoth ? (change + d) & 1 : (change + column) & 1;
            step |= static_cast<unsigned>(increment | next << kStepNextShift)
                    << (kStepBitsPerDisparity * d);
        }
        codeRows_[code] = static_cast<std::int16_t>(row);
        codeSteps_[code] = static_cast<std::uint16_t>(step);
    }
}

// The 10-bit code at every bit comes from one rolling pass, so no window is read twice.
void CSataWordDecoder::PrepareStream(const BitStream& bits, Stream& stream) const {
    std::size_t usable = std::min(
        {static_cast<std::size_t>(bits.bitCount), bits.bits.size(), bits.bitPositions.size()});
    stream.bits = &bits;
    stream.bitCount = static_cast<std::int32_t>(usable);
    // Sized without zero-filling: the rolling pass writes every code, the last few are cleared.
    stream.codes.clear();
    stream.codes.resize(usable);
    const std::int8_t one = host_ && host_->GetInvert() ? -1 : 1;
    const std::int8_t* level = bits.bits.data();
    if (usable >= static_cast<std::size_t>(kWordBits)) {
        unsigned code = 0;
        for (int i = 0; i < kWordBits - 1; ++i) code = (code << 1) | (level[i] == one ? 1u : 0u);
        for (std::size_t q = 0; q + kWordBits <= usable; ++q) {
            code = ((code << 1) & 0x3FFu) | (level[q + kWordBits - 1] == one ? 1u : 0u);
            stream.codes[q] = static_cast<std::uint16_t>(code);
        }
    }
    const std::size_t written =
        usable >= static_cast<std::size_t>(kWordBits) ? usable - kWordBits + 1 : 0;
    std::fill(stream.codes.begin() + static_cast<std::ptrdiff_t>(written), stream.codes.end(),
              std::uint16_t{0});
    stream.steps.clear();
    stream.steps.resize(usable);
    for (std::size_t q = 0; q < usable; ++q) stream.steps[q] = codeSteps_[stream.codes[q]];
    if (std::find(level, level + usable, std::int8_t{2}) != level + usable) {
        stream.gapPrefix.assign(usable + 1, 0);
        for (std::size_t i = 0; i < usable; ++i)
            stream.gapPrefix[i + 1] = stream.gapPrefix[i] + (level[i] == 2 ? 1 : 0);
    }
}

bool CSataWordDecoder::checkend(const Stream& stream, std::int32_t p) const {
    if (stream.gapPrefix.empty() || p < 0 || p + kWordBits > stream.bitCount) return false;
    return stream.gapPrefix[static_cast<std::size_t>(p + kWordBits)] !=
           stream.gapPrefix[static_cast<std::size_t>(p)];
}

int CSataWordDecoder::LastExpectedDisparity() const {
    return expectedDisparity_.empty() ? 0 : expectedDisparity_.back() & 1;
}

bool CSataWordDecoder::StoreWord(const Stream& stream, std::int32_t p, int shift) {
    const int code = getWord(stream, p);
    const std::int16_t row = codeRows_[static_cast<std::size_t>(code)];
    std::int32_t start = stream.bits->bitPositions[static_cast<std::size_t>(p)];
    std::int32_t end = stream.bits->bitPositions[static_cast<std::size_t>(p + kWordBits - 1)];
    std::int8_t expected = 0;
    if (row >= 0)
        expected = static_cast<std::int8_t>(NextDisparity(
            StepFor(codeSteps_[static_cast<std::size_t>(code)], LastExpectedDisparity())));
    else if (start <= 0)
        return false;  // bits without a recorded position make no word
    tableRows_.push_back(row);
    expectedDisparity_.push_back(expected);
    startPositions_.push_back(start);
    endPositions_.push_back(end);
    alignmentShifts_.push_back(static_cast<std::int16_t>(shift));
    return true;
}

void CSataWordDecoder::SyncPatternPath(const Stream& stream, const CMacros* macros) {
    const std::string& text = host_->GetSyncPattern();
    Show("Sync Pattern: " + text, kShowAndKeep);

    std::vector<std::string> names = SplitSyncNames(text);
    // Two acceptable codes per name (RD- and RD+ rows); -1 never matches.
    std::vector<int> codes(names.size() * 2, -1);
    for (std::size_t k = 0; macros && k < names.size(); ++k) {
        for (int r = 0; r <= std::min(macros->lastRow, CMacros::kMaxRows - 1); ++r) {
            int value = macros->value[static_cast<std::size_t>(r)];
            if (value < 0 || value >= CMacros::kMaxNames) continue;
            if (macros->nameTable[static_cast<std::size_t>(value)] != names[k]) continue;
            std::size_t row = static_cast<std::size_t>(r);
            bool single = macros->disparity[row] == kSentAtBoth || r + 1 >= CMacros::kMaxRows;
            codes[2 * k] = macros->code[row];
            codes[2 * k + 1] = single ? macros->code[row] : macros->code[row + 1];
            break;
        }
    }

    int offset = SearchSyncPattern(stream, codes, static_cast<int>(names.size()));
    Show(offset >= 0 ? "Sync Pattern Found: YES" : "Sync Pattern Found: NO", kShowAndKeep);
    for (std::int32_t p = std::max(offset, 0); p + kWordBits <= stream.bitCount; p += kWordBits)
        StoreWord(stream, p, 0);
}

// The offset (0 to 9) at which the names follow each other in consecutive characters,
// -1 when the pattern never occurs. Each block of ten characters from p is tried at every
// offset; an offset whose block holds no character of the first name cannot match and is
// passed over (found from a forward-only cursor per offset, so an absent pattern costs a
// pass over the codes, not a hundred windows per character).
int CSataWordDecoder::SearchSyncPattern(const Stream& stream, const std::vector<int>& codes,
                                        int names) const {
    const bool gaps = !stream.gapPrefix.empty();
    auto isFirstName = [&](std::int32_t q) {
        int code = getWord(stream, q);
        return findMatch(code) && (code == codes[0] || code == codes[1]);
    };
    std::array<std::int32_t, kOffsets> nextFirst;
    nextFirst.fill(-1);
    constexpr std::int32_t kBlockEnd = kWordBits * (kWindowWords - 1);

    std::int32_t p = 0;
    while (p + kWordBits < stream.bitCount) {
        if (checkend(stream, p)) {
            p += kWordBits + 1;
            continue;
        }
        for (int a = 0; a < kOffsets; ++a) {
            if (!gaps) {  // without gaps p stays a multiple of ten: offset a keeps its residue
                std::int32_t& next = nextFirst[static_cast<std::size_t>(a)];
                if (next < p + a) {
                    next = p + a;
                    while (next + kWordBits <= stream.bitCount && !isFirstName(next))
                        next += kWordBits;
                }
                if (next > p + a + kBlockEnd) continue;
            }
            int matched = 0;
            std::size_t k = 0;
            for (int j = 0; j < kWindowWords; ++j) {
                std::int32_t q = p + kWordBits * j + a;
                if (checkend(stream, q)) break;
                if (q + kWordBits > stream.bitCount) continue;
                int code = getWord(stream, q);
                if (findMatch(code) && (code == codes[2 * k] || code == codes[2 * k + 1])) {
                    ++matched;
                    if (matched < names) ++k;
                    if (matched == names) break;
                } else {
                    matched = 0;
                    k = 0;
                }
            }
            if (matched == names) return a;
        }
        p += kWordBits;
    }
    return -1;
}

// Scores of the ten offsets at p: each offset reads ten characters 10 bits apart and
// follows the disparity they imply. Returns the offsets that met a control character, as
// bits. The ten chains are worked side by side in vector lanes, offset a in lane a: at
// each character the chains' steps lie next to each other in the stream.
unsigned CSataWordDecoder::ScoreOffsets(const Stream& stream, std::int32_t p,
                                        OffsetScores& scores) const {
    constexpr std::int32_t kSpan = kWordBits * (kWindowWords - 1) + (kOffsets - 1) + kWordBits;
    if (!stream.gapPrefix.empty() || p + kSpan > stream.bitCount)
        return ScoreOffsetsNearEnd(stream, p, scores);
    // Two vectors of eight lanes: offsets 0-7 and 8-9 (the rest unused). A lane's
    // disparity is kept as a mask, all ones for 1, to pick its half of the step.
    using Lanes = std::uint16_t __attribute__((vector_size(16)));
    constexpr int kLanes = sizeof(Lanes) / sizeof(std::uint16_t);
    static_assert(2 * kLanes >= kOffsets);
    // The steps read reach p + 90 + 15, inside the span checked above.
    static_assert(kWordBits * (kWindowWords - 1) + 2 * kLanes <= kSpan);
    const std::uint16_t* steps = stream.steps.data() + p;
    const std::uint16_t start = LastExpectedDisparity() ? 0xFFFF : 0;
    Lanes odd[2] = {Lanes{} + start, Lanes{} + start};
    Lanes score[2] = {}, control[2] = {};
    for (int j = 0; j < kWindowWords; ++j, steps += kWordBits) {
        for (int half = 0; half < 2; ++half) {
            Lanes step;
            std::memcpy(&step, steps + half * kLanes, sizeof step);
            const Lanes mine = ((step >> kStepBitsPerDisparity) & odd[half]) | (step & ~odd[half]);
            score[half] += mine & kStepIncrementMask;
            odd[half] = -((mine >> kStepNextShift) & 1);
            control[half] |= step & kStepControl;
        }
    }
    unsigned controlOffsets = 0;
    for (int a = 0; a < kOffsets; ++a) {
        scores[static_cast<std::size_t>(a)] = score[a / kLanes][a % kLanes];
        if (control[a / kLanes][a % kLanes] != 0) controlOffsets |= 1u << a;
    }
    return controlOffsets;
}

// The same, window by window, where windows run past the end (skipped) or into a gap (the
// offset stops there).
unsigned CSataWordDecoder::ScoreOffsetsNearEnd(const Stream& stream, std::int32_t p,
                                               OffsetScores& scores) const {
    unsigned control = 0;
    for (int a = 0; a < kOffsets; ++a) {
        int score = 0;
        int d = LastExpectedDisparity();
        std::int32_t q = p + a;
        for (int j = 0; j < kWindowWords && q + kWordBits <= stream.bitCount; ++j, q += kWordBits) {
            if (checkend(stream, q)) break;
            std::uint16_t step = codeSteps_[static_cast<std::size_t>(getWord(stream, q))];
            unsigned mine = StepFor(step, d);
            score += static_cast<int>(mine & kStepIncrementMask);
            d = NextDisparity(mine);
            if (step & kStepControl) control |= 1u << a;
        }
        scores[static_cast<std::size_t>(a)] = score;
    }
    return control;
}

void CSataWordDecoder::ScoringPath(const Stream& stream) {
    Show("Sync Pattern: NONE", kShowAndKeep);
    const bool anyOffset = !host_ || host_->GetLockSampler() == 0;
    bool onControl = false;  // the alignment was last chosen on a control character
    OffsetScores scores;
    std::vector<std::int32_t> wordBits;  // first bit of each word, up to the first comma
    bool commaFound = false;
    std::int32_t p = 0;
    while (p + kWordBits < stream.bitCount) {
        if (checkend(stream, p)) {
            onControl = false;
            ++p;
            continue;
        }
        unsigned control = ScoreOffsets(stream, p, scores);
        // The offsets are weighed in order; the control offset is the latest offset so far
        // that met a control character.
        int best = 0;
        int shift = 0;
        int controlOffset = -1;
        for (int a = 0; a < kOffsets; ++a) {
            if (control & (1u << a)) controlOffset = a;
            int score = scores[static_cast<std::size_t>(a)];
            if (a == 0) {
                if (controlOffset == 0 || onControl) score *= 2;
                if (findMatch(getWord(stream, p))) score *= 2;
            }
            if (score > best && (controlOffset >= 0 || anyOffset)) {
                shift = a;
                best = score;
            }
        }
        if (shift == controlOffset)
            onControl = true;
        else if (shift > 0)
            onControl = false;

        const int code = getWord(stream, p + shift);
        bool valid = findMatch(code);
        if (StoreWord(stream, p + shift, shift) && !commaFound) {
            wordBits.push_back(p + shift);
            commaFound = IsComma(code);
        }
        p += valid ? shift + kWordBits : kWordBits;
    }
    if (commaFound) CarryCommaBack(stream, wordBits);
}

bool CSataWordDecoder::IsComma(int code) const {
    const unsigned head = static_cast<unsigned>(code) >> 3;
    return (head == kCommaMinus || head == kCommaPlus) && findMatch(code);
}

// SATA idles in SYNC, which holds no comma, and before the first comma the scoring may
// settle on a reading of SYNC that is valid too. The first comma fixes the alignment: it
// is carried back word by word for as long as the words decode without an invalid code or
// a disparity contradiction, and the scoring's words are kept only before that. wordBits
// holds the first bit of every word up to and including the first comma.
void CSataWordDecoder::CarryCommaBack(const Stream& stream,
                                      const std::vector<std::int32_t>& wordBits) {
    const std::size_t comma = wordBits.size() - 1;
    const std::int32_t commaBit = wordBits[comma];
    const std::int32_t start = CarriedStart(stream, commaBit);
    // The words just before the comma that the scoring already read at the carried
    // alignment stay as they are.
    std::size_t agreeing = 0;
    while (agreeing < comma) {
        const std::int32_t bit = commaBit - kWordBits * static_cast<std::int32_t>(agreeing + 1);
        if (bit < start || wordBits[comma - 1 - agreeing] != bit) break;
        ++agreeing;
    }
    const std::int32_t carriedEnd = commaBit - kWordBits * static_cast<std::int32_t>(agreeing);
    if (start >= carriedEnd) return;
    std::size_t first = 0;
    while (first < comma - agreeing && wordBits[first] + kWordBits <= start) ++first;
    const std::int32_t previousEnd = first > 0 ? wordBits[first - 1] + kWordBits : 0;
    ReplaceWords(stream, first, comma - agreeing, start, carriedEnd, previousEnd, agreeing);
}

// The earliest bit from which words ten bits apart run up to the comma without an invalid
// code, a gap, or a word whose disparity contradicts the one before it.
std::int32_t CSataWordDecoder::CarriedStart(const Stream& stream, std::int32_t comma) const {
    std::int32_t q = comma;
    while (q - kWordBits >= 0 && !checkend(stream, q - kWordBits) &&
           findMatch(getWord(stream, q - kWordBits)))
        q -= kWordBits;
    std::int32_t start = q;
    int expected = kUnknownDisparity;
    for (; q <= comma; q += kWordBits) {
        const int code = getWord(stream, q);
        const int column = codeColumns_[static_cast<std::size_t>(code)];
        const bool both = column == kSentAtBoth;
        if (expected != kUnknownDisparity && !both && column != expected) {
            start = q;
            expected = kUnknownDisparity;
        }
        if (!both || expected != kUnknownDisparity)
            expected = NextDisparity(
                StepFor(codeSteps_[static_cast<std::size_t>(code)], both ? expected : column));
    }
    return start;
}

// Words first to last (exclusive) give way to the words at bits from, from + 10, ... below
// to; the disparity each expects is worked out anew from there through the agreeing words
// up to the comma, and the word after them follows them without a shift.
void CSataWordDecoder::ReplaceWords(const Stream& stream, std::size_t first, std::size_t last,
                                    std::int32_t from, std::int32_t to, std::int32_t previousEnd,
                                    std::size_t agreeing) {
    const std::size_t after = last;
    std::vector<std::int16_t> rows, shifts;
    std::vector<std::int8_t> expected;
    std::vector<std::int32_t> starts, ends;
    for (std::int32_t q = from; q < to; q += kWordBits) {
        rows.push_back(codeRows_[static_cast<std::size_t>(getWord(stream, q))]);
        starts.push_back(stream.bits->bitPositions[static_cast<std::size_t>(q)]);
        ends.push_back(stream.bits->bitPositions[static_cast<std::size_t>(q + kWordBits - 1)]);
        shifts.push_back(0);
        expected.push_back(0);
    }
    shifts.front() = static_cast<std::int16_t>(std::clamp(from - previousEnd, 0, kOffsets - 1));
    auto replace = [&](auto& target, auto& carried) {
        target.erase(target.begin() + static_cast<std::ptrdiff_t>(first),
                     target.begin() + static_cast<std::ptrdiff_t>(after));
        target.insert(target.begin() + static_cast<std::ptrdiff_t>(first), carried.begin(),
                      carried.end());
    };
    replace(tableRows_, rows);
    replace(expectedDisparity_, expected);
    replace(startPositions_, starts);
    replace(endPositions_, ends);
    replace(alignmentShifts_, shifts);
    const std::size_t next = first + rows.size();
    alignmentShifts_[next] = 0;
    auto codeOf = [&](std::size_t w) {
        return getWord(stream, from + kWordBits * static_cast<std::int32_t>(w - first));
    };
    // At the capture's start the disparity before the first word is the one the first
    // word with a disparity of its own was sent at, not a guess.
    int start = 0;
    for (std::size_t w = first; first == 0 && w < next + agreeing; ++w) {
        const int column = codeColumns_[static_cast<std::size_t>(codeOf(w))];
        if (column != kSentAtBoth) {
            start = column;
            break;
        }
    }
    for (std::size_t w = first; w < next + agreeing; ++w) {
        const int code = codeOf(w);
        const int before = w > 0 ? expectedDisparity_[w - 1] & 1 : start;
        expectedDisparity_[w] = static_cast<std::int8_t>(
            NextDisparity(StepFor(codeSteps_[static_cast<std::size_t>(code)], before)));
    }
}

int CSataWordDecoder::GetWordValue(int word) const {
    return GuardOr(0, logSource_, "GetWordValue", [&] {
        if (word < 0 || word >= WordCount()) return 0;
        int row = tableRows_[static_cast<std::size_t>(word)];
        const CMacros* macros = TheMacros();
        if (row < 0 || !macros || row >= CMacros::kMaxRows) return 0;
        return macros->value[static_cast<std::size_t>(row)];
    });
}

std::string CSataWordDecoder::GetWordName(int word) const {
    return GuardOr(std::string(), logSource_, "GetWordName", [&]() -> std::string {
        if (word < 0 || word >= WordCount()) return "";
        int row = tableRows_[static_cast<std::size_t>(word)];
        if (row == -1) return "Invalid Code";
        const CMacros* macros = TheMacros();
        if (row < 0 || !macros || row >= CMacros::kMaxRows) return "";
        int value = macros->value[static_cast<std::size_t>(row)];
        if (value < 0 || value >= CMacros::kMaxNames) return "";
        return macros->nameTable[static_cast<std::size_t>(value)];
    });
}

int CSataWordDecoder::CheckRD(int word) const {
    return GuardOr(0, logSource_, "CheckRD", [&] {
        if (word <= 0 || word >= WordCount()) return 0;
        int row = tableRows_[static_cast<std::size_t>(word)];
        const CMacros* macros = TheMacros();
        if (row < 0 || !macros || row >= CMacros::kMaxRows) return 0;
        int column = macros->disparity[static_cast<std::size_t>(row)];
        int expected = expectedDisparity_[static_cast<std::size_t>(word - 1)];
        return column != expected && column != kSentAtBoth ? 1 : 0;
    });
}

}  // namespace kestrava

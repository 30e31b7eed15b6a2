// Builds one lane of Serial ATA traffic dword by dword: primitives (repeated runs with
// CONT and junk), frames (SOF, scrambled FIS dwords and CRC, EOF), ALIGN pairs at a
// fixed interval, and faults on request; then encodes it into characters and bits.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "synth/FisBuilder.h"
#include "synth/SataPrimitive.h"
#include "synth/SataScrambler.h"
#include "synth/SataTraffic.h"
#include "synth/SeededRandom.h"

namespace kestrava::synth {

struct TrafficOptions {
    // An ALIGN pair goes out before any dword once this many dwords followed the last
    // ALIGN, also inside frames and junk; 0 sends none by itself.
    int alignIntervalDwords = 256;
    // A run of one primitive at least this long is sent as P, P, CONT and junk; 0 never.
    int contMinimumRun = 4;
    bool startNegative = true;  // running disparity before the first character
    std::uint64_t junkSeed = 1;
};

struct FrameOptions {
    // A run of holdCount hold primitives before FIS dword holdBeforeDword (-1: none).
    int holdBeforeDword = -1;
    int holdCount = 0;
    SataPrimitive holdPrimitive = SataPrimitive::Hold;
    std::uint32_t crcXor = 0;  // non-zero sends a wrong CRC
    // Sends only this many of the FIS and CRC dwords (-1: all), and then an EOF only when
    // eofAfterCut; what follows the frame is up to the caller.
    int cutAfterDwords = -1;
    bool eofAfterCut = false;
};

class SataTrafficBuilder {
  public:
    explicit SataTrafficBuilder(TrafficOptions options = {});

    // count copies of a primitive; a long run is suppressed with CONT and junk.
    SataTrafficBuilder& Primitive(SataPrimitive kind, int count = 1);
    // SOF, the FIS dwords and CRC (scrambled, the scrambler reset at SOF), EOF.
    SataTrafficBuilder& Frame(const Fis& fis, const FrameOptions& options = {});
    // A data dword outside any frame, sent as given.
    SataTrafficBuilder& RawDword(std::uint32_t value);
    // The character at byte byteInDword (0-3) of the next dword carries a fault. A wrong
    // disparity moves on to the first later character whose two codes differ.
    SataTrafficBuilder& Fault(FaultKind kind, int byteInDword = 0);

    int DwordCount() const { return static_cast<int>(dwords_.size()); }
    int FrameCount() const { return static_cast<int>(frames_.size()); }
    // What decides how many dwords the same calls append: from equal states they append
    // equally many.
    struct LengthState {
        int sinceAlign = 0;
        bool suppressing = false;
        std::size_t pendingFaults = 0;
        bool operator==(const LengthState&) const = default;
    };
    LengthState Length() const { return {sinceAlign_, suppressing_, pendingFaults_.size()}; }
    // Line bits of everything appended since the builder was made, forgotten or not.
    std::int64_t LineBits() const { return lineBits_; }
    // Drops the dwords and frames appended so far while the line goes on as before
    // (scramblers, ALIGN spacing, CONT): a long traffic counted a piece at a time.
    void Forget();

    // Encodes everything appended so far. The builder can go on appending afterwards.
    SataTraffic Build() const&;
    // The same from a builder done with, whose dwords and frames move into the traffic.
    SataTraffic Build() &&;

    // The invalid-code fault: a balanced code that is no 8b/10b character and, beside
    // almost any neighbour, forms no comma across the character boundary.
    static constexpr std::uint16_t kInvalidCode = 0b0011110001;

  private:
    SataTraffic Encode(std::vector<SentDword> dwords, std::vector<SentFrame> frames) const;
    void Push(SentDword dword);
    void PushPrimitive(SataPrimitive kind);
    void PushJunk();
    void EndSuppression();

    TrafficOptions options_;
    std::vector<SentDword> dwords_;
    std::vector<SentFrame> frames_;
    std::map<std::pair<int, int>, FaultKind> faults_;  // (dword, byte) -> fault
    std::vector<std::pair<FaultKind, int>> pendingFaults_;
    SataScrambler frameScrambler_;
    SataScrambler junkScrambler_;
    SeededRandom junkRandom_;
    int sinceAlign_ = 0;
    std::int64_t lineBits_ = 0;
    bool suppressing_ = false;
    SataPrimitive suppressed_ = SataPrimitive::Sync;
};

}  // namespace kestrava::synth

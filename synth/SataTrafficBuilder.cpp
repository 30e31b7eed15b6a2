#include "synth/SataTrafficBuilder.h"

#include <algorithm>
#include <utility>

#include "synth/Encoder8b10b.h"
#include "synth/SataCrc.h"

namespace kestrava::synth {
namespace {

// Line bits a fault adds to its character's ten.
int BitsAdded(FaultKind kind) {
    if (kind == FaultKind::ExtraBit) return 1;
    if (kind == FaultKind::LostBit) return -1;
    return 0;
}

}  // namespace

SataTrafficBuilder::SataTrafficBuilder(TrafficOptions options)
    : options_(options), junkRandom_(options.junkSeed) {}

void SataTrafficBuilder::Push(SentDword dword) {
    const bool align =
        dword.role == DwordRole::Primitive && dword.primitive == SataPrimitive::Align;
    if (!align && options_.alignIntervalDwords > 0 && sinceAlign_ >= options_.alignIntervalDwords) {
        for (int i = 0; i < 2; ++i) {
            SentDword pair;
            pair.role = DwordRole::Primitive;
            pair.primitive = SataPrimitive::Align;
            dwords_.push_back(pair);
            lineBits_ += 40;
        }
        sinceAlign_ = 0;
    }
    // A fault asked for "the next dword" lands on the caller's dword, not on an ALIGN
    // pair slipped in before it.
    const int index = static_cast<int>(dwords_.size());
    for (const auto& [kind, byte] : pendingFaults_) {
        FaultKind& fault = faults_[{index, byte}];
        lineBits_ += BitsAdded(kind) - BitsAdded(fault);  // a later fault replaces an earlier
        fault = kind;
    }
    pendingFaults_.clear();
    dwords_.push_back(dword);
    lineBits_ += 40;
    sinceAlign_ = align ? 0 : sinceAlign_ + 1;
}

void SataTrafficBuilder::Forget() {
    dwords_.clear();
    frames_.clear();
    faults_.clear();
}

void SataTrafficBuilder::PushPrimitive(SataPrimitive kind) {
    SentDword dword;
    dword.role = DwordRole::Primitive;
    dword.primitive = kind;
    Push(dword);
}

void SataTrafficBuilder::PushJunk() {
    SentDword dword;
    dword.role = DwordRole::Junk;
    dword.lineValue = junkScrambler_.Next() ^ junkRandom_.NextU32();
    dword.plainValue = dword.lineValue;
    Push(dword);
}

// After CONT the receiver ignores data until the next primitive other than ALIGN, so
// data that follows junk is announced by one more copy of the suppressed primitive.
void SataTrafficBuilder::EndSuppression() {
    if (!suppressing_) return;
    suppressing_ = false;
    PushPrimitive(suppressed_);
}

SataTrafficBuilder& SataTrafficBuilder::Primitive(SataPrimitive kind, int count) {
    if (count <= 0) return *this;
    if (kind == SataPrimitive::Align) {
        // ALIGN is transparent to the link: it does not end a CONT run.
        for (int i = 0; i < count; ++i) PushPrimitive(kind);
        return *this;
    }
    suppressing_ = false;
    const bool useCont = options_.contMinimumRun > 0 &&
                         count >= std::max(options_.contMinimumRun, 3) &&
                         kind != SataPrimitive::Cont;
    if (!useCont) {
        for (int i = 0; i < count; ++i) PushPrimitive(kind);
        return *this;
    }
    PushPrimitive(kind);
    PushPrimitive(kind);
    PushPrimitive(SataPrimitive::Cont);
    for (int i = 3; i < count; ++i) PushJunk();
    suppressing_ = true;
    suppressed_ = kind;
    return *this;
}

SataTrafficBuilder& SataTrafficBuilder::Frame(const Fis& fis, const FrameOptions& options) {
    Primitive(SataPrimitive::Sof);
    SentFrame frame;
    frame.description = fis.description;
    frame.carriesCdb = fis.carriesCdb;
    frame.sofDword = static_cast<int>(dwords_.size()) - 1;
    const int frameIndex = static_cast<int>(frames_.size());

    frameScrambler_.Reset();
    SataCrc crc;
    const int fisCount = static_cast<int>(fis.dwords.size());
    const bool cut = options.cutAfterDwords >= 0 && options.cutAfterDwords <= fisCount;
    const int sent = cut ? options.cutAfterDwords : fisCount + 1;
    frame.crcSent = sent == fisCount + 1;
    for (int i = 0; i < sent; ++i) {
        if (i == options.holdBeforeDword && options.holdCount > 0) {
            Primitive(options.holdPrimitive, options.holdCount);
            EndSuppression();
        }
        SentDword dword;
        dword.frame = frameIndex;
        dword.indexInFrame = i;
        if (i < fisCount) {
            dword.role = DwordRole::FisDword;
            dword.plainValue = fis.dwords[i];
            crc.AddDword(fis.dwords[i]);
        } else {
            dword.role = DwordRole::Crc;
            dword.plainValue = crc.Value() ^ options.crcXor;
        }
        // Primitives and ALIGN pairs in between neither count in the CRC nor move
        // the scrambler: only frame dwords do.
        dword.lineValue = dword.plainValue ^ frameScrambler_.Next();
        Push(dword);
        frame.dwords.push_back(dword.plainValue);
        frame.dwordIndexes.push_back(static_cast<int>(dwords_.size()) - 1);
    }
    if (!cut || options.eofAfterCut) Primitive(SataPrimitive::Eof);
    // A frame without EOF reaches up to the next dword sent.
    frame.eofDword = static_cast<int>(dwords_.size()) - (!cut || options.eofAfterCut ? 1 : 0);
    frames_.push_back(std::move(frame));
    return *this;
}

SataTrafficBuilder& SataTrafficBuilder::RawDword(std::uint32_t value) {
    EndSuppression();
    SentDword dword;
    dword.role = DwordRole::Raw;
    dword.lineValue = value;
    dword.plainValue = value;
    Push(dword);
    return *this;
}

SataTrafficBuilder& SataTrafficBuilder::Fault(FaultKind kind, int byteInDword) {
    if (kind != FaultKind::None) pendingFaults_.emplace_back(kind, std::clamp(byteInDword, 0, 3));
    return *this;
}

SataTraffic SataTrafficBuilder::Build() const& {
    return Encode(dwords_, frames_);
}

SataTraffic SataTrafficBuilder::Build() && {
    return Encode(std::move(dwords_), std::move(frames_));
}

SataTraffic SataTrafficBuilder::Encode(std::vector<SentDword> dwords,
                                       std::vector<SentFrame> frames) const {
    SataTraffic traffic;
    traffic.dwords = std::move(dwords);
    traffic.frames = std::move(frames);
    // Exact sizes: a long capture's traffic is most of what the generator holds.
    traffic.dwords.shrink_to_fit();
    traffic.characters.reserve(traffic.dwords.size() * 4);
    traffic.bits.reserve(traffic.dwords.size() * 40);

    Encoder8b10b encoder(options_.startNegative);
    bool wrongDisparityPending = false;
    for (std::size_t d = 0; d < traffic.dwords.size(); ++d) {
        SentDword& dword = traffic.dwords[d];
        dword.firstCharacter = static_cast<int>(traffic.characters.size());
        std::array<int, 4> values{};
        if (dword.role == DwordRole::Primitive) {
            values = SpecOf(dword.primitive).characters;
        } else {
            for (int b = 0; b < 4; ++b)
                values[b] = static_cast<int>(dword.lineValue >> (8 * b) & 0xFF);
        }
        for (int b = 0; b < 4; ++b) {
            SentCharacter ch;
            ch.value = values[b];
            ch.dword = static_cast<int>(d);
            ch.byteInDword = b;
            ch.negativeBefore = encoder.RunningDisparityNegative();
            FaultKind fault = FaultKind::None;
            if (auto it = faults_.find({static_cast<int>(d), b}); it != faults_.end())
                fault = it->second;
            if (fault == FaultKind::WrongDisparity) {
                wrongDisparityPending = true;
                fault = FaultKind::None;
            }
            std::uint16_t code = Encoder8b10b::CodeFor(ch.value, ch.negativeBefore);
            if (wrongDisparityPending && fault == FaultKind::None) {
                const std::uint16_t other = Encoder8b10b::CodeFor(ch.value, !ch.negativeBefore);
                if (other != code) {
                    code = other;
                    fault = FaultKind::WrongDisparity;
                    wrongDisparityPending = false;
                }
            }
            if (fault == FaultKind::InvalidCode) code = kInvalidCode;
            // The line's disparity follows the code actually sent, so one faulty
            // character leaves the characters after it correct.
            encoder.SetRunningDisparityNegative(
                Encoder8b10b::NegativeAfter(code, ch.negativeBefore));

            ch.code = code;
            ch.fault = fault;
            ch.firstBit = static_cast<int>(traffic.bits.size());
            for (int i = 9; i >= 0; --i)
                traffic.bits.push_back(static_cast<std::uint8_t>(code >> i & 1));
            if (fault == FaultKind::ExtraBit) traffic.bits.push_back(traffic.bits.back());
            if (fault == FaultKind::LostBit) traffic.bits.pop_back();
            ch.bitCount = static_cast<int>(traffic.bits.size()) - ch.firstBit;
            if (fault != FaultKind::None)
                traffic.faults.push_back({fault, static_cast<int>(traffic.characters.size())});
            traffic.characters.push_back(ch);
        }
    }
    return traffic;
}

}  // namespace kestrava::synth

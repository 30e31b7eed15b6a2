#include "synth/Manifest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "synth/Encoder8b10b.h"
#include "synth/FileSink.h"
#include "synth/FisBuilder.h"
#include "synth/MemorySink.h"

namespace kestrava::synth {
namespace {

std::string RoleOf(const SentDword& dword) {
    switch (dword.role) {
        case DwordRole::Primitive:
            return std::string(NameOf(dword.primitive));
        case DwordRole::FisDword:
            return "FIS " + std::to_string(dword.frame) + " dword " +
                   std::to_string(dword.indexInFrame);
        case DwordRole::Crc:
            return "FIS " + std::to_string(dword.frame) + " CRC";
        case DwordRole::Junk:
            return "junk";
        case DwordRole::Raw:
            return "data";
    }
    return "data";
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

// Text gathered into a buffer and handed on in large pieces.
class TextOut {
  public:
    explicit TextOut(ByteSink& sink) : sink_(sink) {}
    ~TextOut() = default;
    TextOut& operator+=(const std::string& text) {
        text_ += text;
        if (text_.size() >= kFlushBytes) Flush();
        return *this;
    }
    TextOut& operator+=(char c) {
        text_ += c;
        return *this;
    }
    void Flush() {
        sink_.Write({reinterpret_cast<const std::uint8_t*>(text_.data()), text_.size()});
        text_.clear();
    }

  private:
    static constexpr std::size_t kFlushBytes = 1 << 20;
    ByteSink& sink_;
    std::string text_;
};

}  // namespace

Manifest::Manifest(const SataTraffic& traffic, const AnalogSynth& synth, int skippedBits)
    : Manifest(traffic, synth, skippedBits, true) {}

Manifest::Manifest(const SataTraffic& traffic, const AnalogSynth& synth, int skippedBits,
                   bool keepLines)
    : faults_(traffic.faults) {
    if (keepLines) {
        bits_.assign(
            traffic.bits.begin() +
                std::min<std::size_t>(static_cast<std::size_t>(skippedBits), traffic.bits.size()),
            traffic.bits.end());
        characters_.reserve(traffic.characters.size());
        for (std::size_t i = 0; i < traffic.characters.size(); ++i)
            characters_.push_back(CharacterOf(traffic, i, synth, skippedBits));
    }
    auto sampleOf = [&](int character) {
        return CharacterOf(traffic, static_cast<std::size_t>(character), synth, skippedBits)
            .firstBitSample;
    };

    std::vector<bool> inFrame(traffic.dwords.size(), false);
    for (const SentFrame& f : traffic.frames)
        for (int d = f.sofDword + 1; d < f.eofDword; ++d) inFrame[d] = true;
    for (std::size_t d = 0; d < traffic.dwords.size(); ++d) {
        const SentDword& dword = traffic.dwords[d];
        if (dword.role != DwordRole::Primitive) continue;
        primitives_.push_back({std::string(NameOf(dword.primitive)), dword.firstCharacter,
                               sampleOf(dword.firstCharacter), inFrame[d]});
    }

    for (const SentFrame& f : traffic.frames) {
        Frame frame;
        frame.type = f.Type();
        frame.description = f.description;
        frame.dwords = f.dwords;
        frame.character = traffic.dwords[f.dwordIndexes.front()].firstCharacter;
        frame.sample = sampleOf(frame.character);
        frames_.push_back(frame);
        if (f.carriesCdb && f.dwords.size() > 1) {
            Atapi a;
            a.opcode = static_cast<std::uint8_t>(f.dwords[1]);
            a.character = traffic.dwords[f.dwordIndexes[1]].firstCharacter;
            a.sample = sampleOf(a.character);
            atapi_.push_back(a);
        }
    }
}

Manifest::Character Manifest::CharacterOf(const SataTraffic& traffic, std::size_t index,
                                          const AnalogSynth& synth, int skippedBits) {
    const SentCharacter& ch = traffic.characters[index];
    const double skippedSamples = skippedBits * synth.Options().samplesPerBit;
    Character c;
    c.name = ch.fault == FaultKind::InvalidCode ? "Invalid Code" : Encoder8b10b::Name(ch.value);
    c.code = ch.code;
    c.negativeBefore = ch.negativeBefore;
    c.firstBitSample =
        std::lround(synth.BitCentreSample(static_cast<std::size_t>(ch.firstBit)) - skippedSamples);
    c.role = RoleOf(traffic.dwords[ch.dword]);
    c.fault = ch.fault;
    return c;
}

void Manifest::Set(const std::string& key, const std::string& value) {
    for (auto& [k, v] : header_)
        if (k == key) {
            v = value;
            return;
        }
    header_.emplace_back(key, value);
}

std::vector<std::uint32_t> Manifest::DataWords() const {
    std::vector<std::uint32_t> words;
    for (const Frame& f : frames_) words.insert(words.end(), f.dwords.begin(), f.dwords.end());
    return words;
}

std::string Manifest::Text() const {
    MemorySink sink;
    WriteText(
        sink, characters_.size(), [&](std::size_t i) { return characters_[i]; }, bits_);
    const std::vector<std::uint8_t> bytes = sink.Take();
    return {bytes.begin(), bytes.end()};
}

void Manifest::WriteText(ByteSink& sink, std::size_t characterCount,
                         const std::function<Character(std::size_t)>& characterAt,
                         std::span<const std::uint8_t> bits) const {
    TextOut out(sink);
    out += "# Capture manifest: what the generator sent on the line\n";
    for (const auto& [key, value] : header_) out += key + ": " + value + "\n";
    out += "characters: " + std::to_string(characterCount) + "\n";
    out += "bits: " + std::to_string(bits.size()) + "\n";
    out += "primitives: " + std::to_string(primitives_.size()) + "\n";
    out += "frames: " + std::to_string(frames_.size()) + "\n";
    out += "data words: " + std::to_string(DataWords().size()) + "\n";
    out += "atapi commands: " + std::to_string(atapi_.size()) + "\n";
    out += "faults: " + std::to_string(faults_.size()) + "\n";

    out += "\n[frames]\n# index type name, first character, sample, description; then the dwords\n";
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const Frame& f = frames_[i];
        out += std::to_string(i) + " " + Hex(f.type, 2) + " " +
               std::string(FisBuilder::TypeName(f.type)) + ", character " +
               std::to_string(f.character) + ", sample " + std::to_string(f.sample);
        if (!f.description.empty()) out += ", " + f.description;
        out += "\n";
        for (std::size_t d = 0; d < f.dwords.size(); ++d)
            out += "  " + Hex(f.dwords[d], 8) + (d + 1 == f.dwords.size() ? " CRC\n" : "\n");
    }

    out += "\n[atapi]\n# opcode, first character of the packet, sample\n";
    for (const Atapi& a : atapi_)
        out += Hex(a.opcode, 2) + " " + std::to_string(a.character) + " " +
               std::to_string(a.sample) + "\n";

    out += "\n[faults]\n# kind character\n";
    for (const SentFault& f : faults_)
        out += std::string(FaultName(f.kind)) + " " + std::to_string(f.character) + "\n";

    out += "\n[primitives]\n# character sample name (in-frame)\n";
    for (const Primitive& p : primitives_)
        out += std::to_string(p.character) + " " + std::to_string(p.sample) + " " + p.name +
               (p.inFrame ? " in-frame\n" : "\n");

    out += "\n[characters]\n# index sample name code disparity-before role [fault]\n";
    for (std::size_t i = 0; i < characterCount; ++i) {
        const Character c = characterAt(i);
        std::string line = std::to_string(i) + " " + std::to_string(c.firstBitSample) + " " +
                           c.name + " " + Encoder8b10b::BitsText(c.code) + " " +
                           (c.negativeBefore ? "-" : "+") + " " + c.role;
        if (c.fault != FaultKind::None) line += " " + std::string(FaultName(c.fault));
        out += line + "\n";
    }

    out += "\n[bits]\n";
    std::string line;
    for (std::size_t i = 0; i < bits.size(); i += 80) {
        line.clear();
        for (std::size_t j = i; j < bits.size() && j < i + 80; ++j) line += bits[j] ? '1' : '0';
        out += line + "\n";
    }
    out.Flush();
}

std::string Manifest::Write(const std::string& path) const {
    try {
        FileSink file(path);
        WriteText(
            file, characters_.size(), [&](std::size_t i) { return characters_[i]; }, bits_);
        file.Finish();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

std::string Manifest::Write(const std::string& path,
                            const std::vector<std::pair<std::string, std::string>>& header,
                            const SataTraffic& traffic, const AnalogSynth& synth, int skippedBits) {
    Manifest manifest(traffic, synth, skippedBits, false);
    manifest.header_ = header;
    const std::size_t skipped =
        std::min<std::size_t>(static_cast<std::size_t>(skippedBits), traffic.bits.size());
    try {
        FileSink file(path);
        manifest.WriteText(
            file, traffic.characters.size(),
            [&](std::size_t i) { return CharacterOf(traffic, i, synth, skippedBits); },
            std::span<const std::uint8_t>(traffic.bits).subspan(skipped));
        file.Finish();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace kestrava::synth

// What a capture was made of, for people and for tests: header values (how it was
// made), every character with its name, code and sample position, the primitives in
// order, every frame with its unscrambled dwords, the ATAPI command packets, the
// deliberate faults and the line bits.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "synth/AnalogSynth.h"
#include "synth/ByteSink.h"
#include "synth/SataTraffic.h"

namespace kestrava::synth {

class Manifest {
  public:
    struct Character {
        std::string name;  // "K28.5"; "Invalid Code" for the invalid-code fault
        std::uint16_t code = 0;
        bool negativeBefore = true;
        long firstBitSample = 0;  // sample index nearest the centre of its first bit
        std::string role;         // "ALIGN", "FIS 2 dword 1", "FIS 2 CRC", "junk", ...
        FaultKind fault = FaultKind::None;
    };
    struct Primitive {
        std::string name;
        int character = 0;  // index of its first character
        long sample = 0;
        bool inFrame = false;
    };
    struct Frame {
        std::uint8_t type = 0;
        std::string description;
        std::vector<std::uint32_t> dwords;  // unscrambled, the CRC last
        int character = 0;                  // first character of FIS dword 0
        long sample = 0;
    };
    struct Atapi {
        std::uint8_t opcode = 0;
        int character = 0;  // first character of the packet's dword 1
        long sample = 0;
    };

    // skippedBits: the record begins that many bits into the traffic; a character cut by
    // it lies partly before the record's first sample.
    Manifest(const SataTraffic& traffic, const AnalogSynth& synth, int skippedBits = 0);

    // A "key: value" line of the header, in the order given.
    void Set(const std::string& key, const std::string& value);

    const std::vector<std::pair<std::string, std::string>>& Header() const { return header_; }
    const std::vector<Character>& Characters() const { return characters_; }
    const std::vector<Primitive>& Primitives() const { return primitives_; }
    const std::vector<Frame>& Frames() const { return frames_; }
    // The dwords of all frames in order, each frame's CRC included.
    std::vector<std::uint32_t> DataWords() const;
    const std::vector<Atapi>& AtapiCommands() const { return atapi_; }
    const std::vector<SentFault>& Faults() const { return faults_; }
    const std::vector<std::uint8_t>& Bits() const { return bits_; }

    std::string Text() const;
    // Writes Text() a line at a time; returns an empty text on success, else what went
    // wrong.
    std::string Write(const std::string& path) const;
    // The same file for Manifest(traffic, synth, skippedBits) with this header, without a
    // copy of every character and bit: their lines are made from traffic as they go out.
    static std::string Write(const std::string& path,
                             const std::vector<std::pair<std::string, std::string>>& header,
                             const SataTraffic& traffic, const AnalogSynth& synth,
                             int skippedBits = 0);

  private:
    static Character CharacterOf(const SataTraffic& traffic, std::size_t index,
                                 const AnalogSynth& synth, int skippedBits);
    // keepLines false leaves the characters and bits to the traffic.
    Manifest(const SataTraffic& traffic, const AnalogSynth& synth, int skippedBits, bool keepLines);
    // The text, the character lines and bits from wherever they are kept.
    void WriteText(ByteSink& out, std::size_t characterCount,
                   const std::function<Character(std::size_t)>& characterAt,
                   std::span<const std::uint8_t> bits) const;

    std::vector<std::pair<std::string, std::string>> header_;
    std::vector<Character> characters_;
    std::vector<Primitive> primitives_;
    std::vector<Frame> frames_;
    std::vector<Atapi> atapi_;
    std::vector<SentFault> faults_;
    std::vector<std::uint8_t> bits_;
};

}  // namespace kestrava::synth

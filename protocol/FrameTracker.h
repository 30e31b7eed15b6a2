// The frame in progress on a SATA link: whether one is open or held by CONT, how many
// characters remain until the next data word begins, when the scrambler restarts, and
// the frame a primitive closes.
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/CSataPrimDecoder.h"

namespace kestrava {

class FrameTracker {
  public:
    static constexpr int kCharactersPerDataWord = 4;

    // Counts a data character; true when a data word of the open frame begins at it.
    bool DataCharacter();
    // Descrambles the data word that begins here; its characters are counted anew.
    std::uint32_t Descramble(std::uint32_t raw);
    // A primitive by its number in the definition, or -1 for an unknown control character.
    // Takes its first word and the count of data words so far; gives the frame it closes.
    std::optional<Frame> Primitive(int number, int wordIndex, int dataWords);

  private:
    enum class State { Idle, InFrame, Held };

    void Start(int wordIndex, int dataWords);
    std::optional<Frame> End(int dataWords);
    void Hold();
    void Resume();
    void RestartCount() { countdown_ = kCharactersPerDataWord; }

    State state_ = State::Idle;
    int countdown_ = kCharactersPerDataWord;
    bool resetScrambler_ = false;
    Frame open_;
};

}  // namespace kestrava

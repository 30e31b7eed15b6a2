// The frame in progress on a SATA link: whether one is open or held by CONT, how many
// characters remain until the next data word begins, when the scrambler restarts, and
// the frame a primitive closes. Beside the frames it also records how every frame
// ended, cut short ones included, for the frame verdicts.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

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
    // The capture ended: a frame still open is recorded as cut short by it.
    void Finish(int dataWords);
    // Every frame from its start to whatever ended it, in order.
    std::vector<FrameRecord> TakeRecords() { return std::move(records_); }

  private:
    enum class State { Idle, InFrame, Held };

    void Start(int wordIndex, int dataWords);
    std::optional<Frame> End(int dataWords);
    void Hold();
    void Resume();
    void RestartCount() { countdown_ = kCharactersPerDataWord; }
    void Record(int number, int wordIndex, int dataWords);
    void CloseRecord(FrameEnd end, int wordIndex, int dataWords);

    State state_ = State::Idle;
    int countdown_ = kCharactersPerDataWord;
    bool resetScrambler_ = false;
    Frame open_;
    bool recording_ = false;
    FrameRecord record_;
    std::vector<FrameRecord> records_;
};

}  // namespace kestrava

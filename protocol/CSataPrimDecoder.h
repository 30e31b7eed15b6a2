// Finds the primitives of the loaded protocol definition in the decoded words, notes line
// silences and, for a SATA definition, follows the frames: data words of four characters
// between start and end of frame, descrambled, and the ATAPI packets they carry. All the
// work is done by the constructor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrava {

class CAnalysisHost;
class CMacros;
class CSataWordDecoder;
class FrameTracker;

// A primitive found at a control character.
struct FoundPrimitive {
    int wordIndex = 0;  // its first word
    int number = 0;     // its position in the definition
};

// A pause of the line before a word.
struct Silence {
    int wordIndex = 0;      // the word that follows the silence
    int lengthSamples = 0;  // from the previous word's start to this word's start
};

// A descrambled 32-bit data word of a frame; its first character is the low byte.
struct DataWord {
    std::uint32_t value = 0;
    int wordIndex = 0;  // its first character
};

// A closed frame: data words start to start + length - 1, the last being its CRC.
struct Frame {
    int start = 0;
    int length = 0;
    int sofWordIndex = 0;  // the start-of-frame primitive
};

// What ended a frame: its EOF, a SYNC or a new SOF before it, or the end of the capture.
enum class FrameEnd { Eof, Sync, NewSof, Capture };

// A frame from its SOF to whatever ended it; its length counts every data word received.
struct FrameRecord {
    Frame frame;
    FrameEnd end = FrameEnd::Eof;
    int endWordIndex = -1;  // the primitive that ended it, -1 at the end of the capture
    bool held = false;      // a HOLD or HOLDA came inside
};

// A command packet carried by a Data frame right after a Register H->D frame.
struct AtapiCommand {
    std::uint8_t opcode = 0;
    int position = 0;  // word index of the packet's first data word
};

class CSataPrimDecoder {
  public:
    CSataPrimDecoder(const CSataWordDecoder& words, int samplesPerBit, CAnalysisHost* host);
    ~CSataPrimDecoder();
    CSataPrimDecoder(const CSataPrimDecoder&) = delete;
    CSataPrimDecoder& operator=(const CSataPrimDecoder&) = delete;

    // The number of the primitive that starts at the word (its word count in wordCount),
    // -1 when none, or the number of primitives when too few words remain.
    int CheckPrim(int word, int& wordCount) const;
    // Name of the i-th found primitive, "Unknown" when its number is not defined.
    std::string GetPrimitive(int i) const;

    // Results, each ordered by word index.
    const std::vector<FoundPrimitive>& FoundPrimitives() const { return primitives_; }
    const std::vector<Silence>& Silences() const { return silences_; }
    const std::vector<DataWord>& DataWords() const { return dataWords_; }
    const std::vector<Frame>& Frames() const { return frames_; }
    const std::vector<FrameRecord>& FrameRecords() const { return frameRecords_; }
    const std::vector<AtapiCommand>& AtapiCommands() const { return atapi_; }
    int SamplesPerBit() const { return samplesPerBit_; }

    void GenerateTables() {}

  private:
    void DecodePrimitives();
    void WalkWords(int n, bool sata);
    void NoteSilence(int w);
    int NotePrimitive(int w, int primitiveCount);
    void NoteFramePrimitive(FrameTracker& frame, int number, int w);
    void NoteDataWord(FrameTracker& frame, const CMacros* macros, int w, int n);
    void ShowCounts(bool sata) const;
    void DecodeATAPI();
    void WriteDump(int wordCount) const;
    void PrepareBraceValues(const CMacros& macros);
    bool WordMatches(const CMacros& macros, int primitive, int j, int value) const;
    void Show(const std::string& text, int mode) const;

    const CSataWordDecoder* words_;
    int samplesPerBit_;
    CAnalysisHost* host_;

    std::vector<FoundPrimitive> primitives_;
    std::vector<Silence> silences_;
    std::vector<DataWord> dataWords_;
    std::vector<Frame> frames_;
    std::vector<FrameRecord> frameRecords_;
    std::vector<AtapiCommand> atapi_;

    // Per primitive and word, the values of a brace list's names, looked up once.
    std::vector<std::vector<std::vector<int>>> braceValues_;
    std::string logSource_ = "CSataPrimDecoder";
};

}  // namespace kestrava

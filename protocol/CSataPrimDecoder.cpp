#include "protocol/CSataPrimDecoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "base/CAnalysisHost.h"
#include "base/Folders.h"
#include "base/Guard.h"
#include "base/HexText.h"
#include "base/Log.h"
#include "definition/CMacros.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/FrameTracker.h"

namespace kestrava {
namespace {

constexpr int kFirstControlValue = 256;
// The byte each control character stands for, by character value 256 to 267.
constexpr std::array<unsigned, 12> kControlBytes = {0x1C, 0x3C, 0x5C, 0x7C, 0x9C, 0xBC,
                                                    0xDC, 0xFC, 0xF7, 0xFB, 0xFD, 0xFE};
constexpr int kSilenceBits = 30;
constexpr std::size_t kBraceNameLength = 5;

// A standard beginning with "SATA" (compared on its first four characters) has frames.
bool IsSata(const CMacros* macros) {
    if (!macros) return false;
    return std::string_view("SATA").find(std::string_view(macros->triggerStandard).substr(0, 4)) ==
           0;
}

int ValueOfRow(const CMacros* macros, int row) {
    if (row < 0 || !macros || row >= CMacros::kMaxRows) return 0;
    return macros->value[static_cast<std::size_t>(row)];
}

const std::string* NameOfValue(const CMacros& macros, int value) {
    if (value < 0 || value >= CMacros::kMaxNames) return nullptr;
    return &macros.nameTable[static_cast<std::size_t>(value)];
}

int ValueAt(const CMacros* macros, const CSataWordDecoder& words, int w) {
    return ValueOfRow(macros, words.TableRows()[static_cast<std::size_t>(w)]);
}

// Four characters from the word on, the first as the low byte.
std::uint32_t RawDataWord(const CMacros* macros, const CSataWordDecoder& words, int w) {
    auto byte = [&](int i) { return static_cast<std::uint32_t>(ValueAt(macros, words, w + i)); };
    return byte(0) + 256u * byte(1) + 65536u * byte(2) + 16777216u * byte(3);
}

}  // namespace

CSataPrimDecoder::CSataPrimDecoder(const CSataWordDecoder& words, int samplesPerBit,
                                   CAnalysisHost* host)
    : words_(&words), samplesPerBit_(samplesPerBit), host_(host) {
    Guard(logSource_, "CSataPrimDecoder", [&] {
        GenerateTables();
        if (const CMacros* macros = TheMacros()) PrepareBraceValues(*macros);
        DecodePrimitives();
        DecodeATAPI();
    });
}

CSataPrimDecoder::~CSataPrimDecoder() {
    WriteLog(logSource_, "Start:~CSataPrimDecoder", kLogError);
    WriteLog(logSource_, "End:~CSataPrimDecoder", kLogError);
}

void CSataPrimDecoder::Show(const std::string& text, int mode) const {
    if (host_) host_->DisplayMessage(text, mode);
}

// Brace list names are looked up by their first five characters once, not per word.
void CSataPrimDecoder::PrepareBraceValues(const CMacros& macros) {
    braceValues_.assign(macros.primitives.size(), {});
    for (std::size_t i = 0; i < macros.primitives.size(); ++i) {
        const PrimitiveDefinition& primitive = macros.primitives[i];
        braceValues_[i].resize(primitive.words.size());
        if (!primitive.brace) continue;
        for (std::size_t j = 0; j < primitive.words.size(); ++j) {
            for (const std::string& name : primitive.words[j].nameList)
                braceValues_[i][j].push_back(macros.Get8BitValue(name.substr(0, kBraceNameLength)));
        }
    }
}

bool CSataPrimDecoder::WordMatches(const CMacros& macros, int primitive, int j, int value) const {
    const PrimitiveDefinition& definition = macros.primitives[static_cast<std::size_t>(primitive)];
    const WordSpec& word = definition.words[static_cast<std::size_t>(j)];
    if (!(word.brace && definition.brace)) return value == word.value;
    std::size_t i = static_cast<std::size_t>(primitive);
    if (i < braceValues_.size() && static_cast<std::size_t>(j) < braceValues_[i].size()) {
        const std::vector<int>& values = braceValues_[i][static_cast<std::size_t>(j)];
        if (std::find(values.begin(), values.end(), value) != values.end()) return true;
    }
    bool hasRange = word.rangeLow != -1 || word.rangeHigh != -1;
    return hasRange && word.rangeLow <= value && value <= word.rangeHigh;
}

int CSataPrimDecoder::CheckPrim(int word, int& wordCount) const {
    return GuardOr(-1, logSource_, "CheckPrim catch", [&] {
        const CMacros* macros = TheMacros();
        int count = macros ? static_cast<int>(macros->primitives.size()) : 0;
        int words = words_->WordCount();
        int average = macros ? macros->averageWordCount : 0;
        if (static_cast<long long>(words) < static_cast<long long>(word) + average) return count;
        if (!macros || word < 0 || word >= words) return -1;
        const std::vector<std::int16_t>& rows = words_->TableRows();
        int row = rows[static_cast<std::size_t>(word)];
        if (row < macros->firstControlRow || row > macros->lastControlRow) return -1;
        const std::string* name = NameOfValue(*macros, ValueOfRow(macros, row));
        if (!name) return -1;
        for (int i = 0; i < count; ++i) {
            const PrimitiveDefinition& primitive = macros->primitives[static_cast<std::size_t>(i)];
            wordCount = primitive.wordCount;
            if (primitive.words.empty() || primitive.words[0].name != *name) continue;
            int wordSpecs = static_cast<int>(primitive.words.size());
            bool all = true;
            for (int j = 1; j < primitive.wordCount && all; ++j) {
                if (j >= wordSpecs || word + j >= words) {
                    all = false;
                    break;
                }
                int value = ValueOfRow(macros, rows[static_cast<std::size_t>(word + j)]);
                all = WordMatches(*macros, i, j, value);
            }
            if (all) return i;
        }
        return -1;
    });
}

std::string CSataPrimDecoder::GetPrimitive(int i) const {
    return GuardOr(std::string("Unknown"), logSource_, "GetPrimitive", [&]() -> std::string {
        const CMacros* macros = TheMacros();
        if (i < 0 || i >= static_cast<int>(primitives_.size()) || !macros) return "Unknown";
        int number = primitives_[static_cast<std::size_t>(i)].number;
        if (number < 0 || number >= static_cast<int>(macros->primitiveNames.size()))
            return "Unknown";
        return macros->primitiveNames[static_cast<std::size_t>(number)];
    });
}

// One line per valid character: its byte in hex, then its name ("bc -  K28.5").
void CSataPrimDecoder::WriteDump(int wordCount) const {
    std::string folder = Folders::DataFolder("Log");
    if (!Folders::Exists(folder)) return;
    std::FILE* file = std::fopen(Folders::Join(folder, "New-8bit-dump.csv").c_str(), "w");
    if (!file) return;
    WriteLog(logSource_, "fopen success", kLogInfo);
    const CMacros* macros = TheMacros();
    const std::vector<std::int16_t>& rows = words_->TableRows();
    std::string buffer;
    constexpr std::size_t kChunk = 1 << 16;
    buffer.reserve(kChunk + 64);
    for (int w = 0; w < wordCount && macros; ++w) {
        int row = rows[static_cast<std::size_t>(w)];
        if (row < 0) continue;
        int value = ValueOfRow(macros, row);
        unsigned shown = static_cast<unsigned>(value);
        if (value >= kFirstControlValue &&
            value < kFirstControlValue + static_cast<int>(kControlBytes.size()))
            shown = kControlBytes[static_cast<std::size_t>(value - kFirstControlValue)];
        AppendHex(buffer, shown);
        buffer += " -  ";
        if (const std::string* name = NameOfValue(*macros, value)) buffer += *name;
        buffer += '\n';
        if (buffer.size() >= kChunk) {
            std::fwrite(buffer.data(), 1, buffer.size(), file);
            buffer.clear();
        }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), file);
    std::fclose(file);
}

void CSataPrimDecoder::DecodePrimitives() {
    const bool finished = Guard(logSource_, "DecodePrimitives Catch", [&] {
        WriteLog(logSource_, "CSataPrimDecoder::DecodePrimitives Entered", kLogInfo);
        if (!words_->Decoded()) return;
        const int n = words_->WordCount();
        if (n == 0) {
            Show("NO WORDS FOUND....", kShow);
            WriteLog(logSource_, "NO WORDS FOUND....", kLogInfo);
            return;
        }
        WriteDump(n);
        Show("PRIMITIVE DECODING IN PROGRESS....", kShow);
        const bool sata = IsSata(TheMacros());
        WalkWords(n, sata);
        ShowCounts(sata);
        Show("PRIMITIVE DECODING COMPLETE....", kShow);
        WriteLog(logSource_, "CSataPrimDecoder::DecodePrimitives Exit", kLogInfo);
    });
    if (!finished) Show("ERROR IN PRIMITIVE DECODING....", kShowAndKeep);
}

// Every word may follow a silence; a control character may start a primitive, and in a
// SATA frame data characters make up data words.
void CSataPrimDecoder::WalkWords(int n, bool sata) {
    const CMacros* macros = TheMacros();
    const int primitiveCount = macros ? static_cast<int>(macros->primitives.size()) : 0;
    const int average = macros && macros->averageWordCount > 0 ? macros->averageWordCount : 1;
    primitives_.reserve(static_cast<std::size_t>(n / average + 1));
    FrameTracker frame;
    for (int w = 0; w < n; ++w) {
        NoteSilence(w);
        if (ValueAt(macros, *words_, w) >= kFirstControlValue) {
            int number = NotePrimitive(w, primitiveCount);
            if (sata) NoteFramePrimitive(frame, number, w);
        } else if (sata && frame.DataCharacter()) {
            NoteDataWord(frame, macros, w, n);
        }
    }
    frame.Finish(static_cast<int>(dataWords_.size()));
    frameRecords_ = frame.TakeRecords();
}

void CSataPrimDecoder::NoteSilence(int w) {
    if (w == 0) return;
    const std::vector<std::int32_t>& starts = words_->StartPositions();
    const long long silenceSamples = static_cast<long long>(kSilenceBits) * samplesPerBit_;
    long long gap = static_cast<long long>(starts[static_cast<std::size_t>(w)]) -
                    starts[static_cast<std::size_t>(w - 1)];
    if (gap > silenceSamples)
        silences_.push_back(
            {w, static_cast<int>(std::min<long long>(gap, std::numeric_limits<int>::max()))});
}

// Lists the primitive starting at the word unless it is a single word; gives its number.
int CSataPrimDecoder::NotePrimitive(int w, int primitiveCount) {
    int words = 0;
    int number = CheckPrim(w, words);
    if (number >= 0 && number < primitiveCount && words != 1) primitives_.push_back({w, number});
    return number;
}

void CSataPrimDecoder::NoteFramePrimitive(FrameTracker& frame, int number, int w) {
    if (std::optional<Frame> closed =
            frame.Primitive(number, w, static_cast<int>(dataWords_.size())))
        frames_.push_back(*closed);
}

// A data word is kept only when the capture holds all its characters.
void CSataPrimDecoder::NoteDataWord(FrameTracker& frame, const CMacros* macros, int w, int n) {
    if (n - w < FrameTracker::kCharactersPerDataWord) return;
    dataWords_.push_back({frame.Descramble(RawDataWord(macros, *words_, w)), w});
}

void CSataPrimDecoder::ShowCounts(bool sata) const {
    char text[96];
    std::snprintf(text, sizeof text, "Periods of silence: %i ", static_cast<int>(silences_.size()));
    Show(text, kShowAndKeep);
    std::snprintf(text, sizeof text, "Primitives Found: %i ", static_cast<int>(primitives_.size()));
    Show(text, kShowAndKeep);
    if (!sata) return;
    std::snprintf(text, sizeof text, "FIS: %d ", static_cast<int>(frames_.size()));
    Show(text, kShowAndKeep);
    std::snprintf(text, sizeof text, "Data words in FISs: %i ",
                  static_cast<int>(dataWords_.size()));
    Show(text, kShowAndKeep);
}

// A Data frame right after a Register H->D frame carries a command packet; its first
// byte is the operation code. A frame too short to hold the byte gives no command.
void CSataPrimDecoder::DecodeATAPI() {
    const bool finished = Guard(logSource_, "DecodeATAPI", [&] {
        if (!words_->Decoded()) return;
        constexpr unsigned kRegisterHostToDevice = 0x27;
        constexpr unsigned kData = 0x46;
        unsigned previous = 0;
        for (const Frame& frame : frames_) {
            unsigned type = frame.length > 0
                                ? dataWords_[static_cast<std::size_t>(frame.start)].value & 0xFFu
                                : 0u;
            if (type == kData && previous == kRegisterHostToDevice && frame.length >= 2) {
                const DataWord& packet = dataWords_[static_cast<std::size_t>(frame.start + 1)];
                atapi_.push_back(
                    {static_cast<std::uint8_t>(packet.value & 0xFFu), packet.wordIndex});
            }
            previous = type;
        }
    });
    if (!finished) Show("ERROR IN ATAPI DECODING....", kShowAndKeep);
}

}  // namespace kestrava

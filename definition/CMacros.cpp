#include "definition/CMacros.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string_view>

#include "base/Folders.h"
#include "base/Guard.h"
#include "base/Log.h"
#include "base/MessageBox.h"
#include "base/Text.h"

namespace kestrava {
namespace {

CMacros* g_theMacros = nullptr;

constexpr std::string_view kTokenSeparators = " \t\r\n\v\f";

// The markers and keywords with the number of leading characters the test checks.
struct Keyword {
    std::string_view text;
    std::size_t threshold;
};
constexpr Keyword kControlWordStart{"CONTROL_WORD_START", 17};
constexpr Keyword kControlWordEnd{"CONTROL_WORD_END", 16};
constexpr Keyword kWordStart{"WORD_START", 10};
constexpr Keyword kWordEnd{"WORD_END", 8};
constexpr Keyword kRdErrorStart{"RD_ERROR_START", 14};
constexpr Keyword kRdErrorEnd{"RD_ERROR_END", 12};
constexpr Keyword kEncoding{"ENCODING", 8};
constexpr Keyword kTriggerStandard{"TRIGGER_STANDARD", 16};
constexpr Keyword kBitRatePerSec{"BIT_RATE_PER_SEC", 16};
constexpr Keyword kCollectionStart{"COLLECTION_START", 16};
constexpr Keyword kCollectionEnd{"COLLECTION_END", 14};

// Character-set test: every one of the keyword's first characters occurs somewhere in
// the text. Loose on purpose: spreadsheets append ",,,," and other cells to markers.
bool Passes(std::string_view text, const Keyword& keyword) {
    for (std::size_t i = 0; i < keyword.threshold && i < keyword.text.size(); ++i)
        if (text.find(keyword.text[i]) == std::string_view::npos) return false;
    return true;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Adds digit * weight to sum, saturating at INT_MAX so long fields cannot overflow.
void AddSaturating(long long& sum, long long digit, long long weight, bool& saturated) {
    if (saturated || digit == 0) return;
    if (weight > INT_MAX || sum + digit * weight > INT_MAX) {
        saturated = true;
        sum = INT_MAX;
        return;
    }
    sum += digit * weight;
}

// Decimal value of a field as the C library reads it (leading blanks, sign, digits);
// only the low byte is kept, which preserves the parity the decoders use.
std::int8_t DecimalByte(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && kTokenSeparators.find(text[i]) != std::string_view::npos) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = (value * 10u + static_cast<unsigned>(text[i] - '0')) & 0xFFu;
    if (negative) value = (0x100u - value) & 0xFFu;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(value));
}

// Opens a regular file only: a folder path (an empty table name) or a device must fail
// like a missing file instead of blocking or reading forever.
bool OpenRegular(std::ifstream& in, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    in.open(path, std::ios::binary);
    return in.is_open();
}

// Reads at most limit bytes. readError: the stream failed; truncated: more was there.
std::string ReadBounded(std::ifstream& in, std::size_t limit, bool& readError, bool& truncated) {
    std::string text;
    char buffer[65536];
    readError = truncated = false;
    while (text.size() < limit) {
        std::size_t want = std::min(sizeof buffer, limit - text.size());
        in.read(buffer, static_cast<std::streamsize>(want));
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (!in) break;
    }
    if (in.bad()) {
        readError = true;
    } else if (in && text.size() == limit) {
        truncated = in.peek() != std::char_traits<char>::eof();
    }
    return text;
}

}  // namespace

CMacros* TheMacros() {
    return g_theMacros;
}

void SetTheMacros(CMacros* macros) {
    g_theMacros = macros;
}

CMacros::CMacros() {
    codeIndex_.fill(-1);
    for (int i = 0; i < kMaxRows; ++i) nameTable[static_cast<std::size_t>(i)] = "--";
}

CMacros::~CMacros() {
    WriteLog("Destr", "Start:~CMacros", kLogError);
    Guard(logSource_, "CatchBlock:~CMacros", [&] {
        fourWordPrimitives.clear();
        singleWordTable.clear();
        primitives.clear();
        primitiveNames.clear();
    });
    WriteLog("Destr", "End:~CMacros", kLogError);
}

void CMacros::LoadMacros(const std::string& path) {
    Guard(logSource_, "LoadMacros", [&] {
        ClearAllMacros();
        LoadPrimitive(path);
        encodingFileName = std::string(Trim(encodingFileName, kLineBlanks));
        // The table the definition names replaces the default one loaded above. It is a
        // file of the Encoding folder: a name that leads elsewhere is not looked for.
        const std::string table = Folders::DataFolder("Encoding") + "/" + encodingFileName;
        if (encodingFileName.find('/') != std::string::npos) {
            ShowMessageBox(table + " file not found.");
            return;
        }
        Load8B10BTable(table);
    });
}

void CMacros::ClearAllMacros() {
    Guard(logSource_, "ClearAllMacros", [&] {
        fourWordPrimitives.clear();
        singleWordTable.clear();
        primitives.clear();
        primitiveNames.clear();
    });
}

// ---------------------------------------------------------------------------------------
// Code table

void CMacros::Load8B10BTable(const std::string& path) {
    Guard(logSource_, "Load8B10BTable", [&] { ReadCodeTable(path); });
    // Rebuilt whatever happened, so RowOfCode always answers like a scan of 0..lastRow.
    RebuildCodeIndex();
}

void CMacros::ReadCodeTable(const std::string& path) {
    std::ifstream in;
    if (!OpenRegular(in, path)) {
        ShowMessageBox(path + " file not found.");
        return;
    }
    // Names are reset only once the file is open: a failed load keeps rows and names
    // together instead of leaving rows whose names were wiped.
    for (int i = 0; i < kMaxRows; ++i) nameTable[static_cast<std::size_t>(i)] = "--";

    bool readError = false, truncated = false;
    const std::string text = ReadBounded(in, kMaxTableFileBytes, readError, truncated);
    if (truncated)
        WriteLog(logSource_, "Load8B10BTable: file larger than 4 MiB, the rest is ignored",
                 kLogError);

    int row = 0;
    bool inWords = false;
    bool fullLogged = false;
    std::size_t fieldSlot = 0;
    std::array<std::string, 5> fields;

    auto handleToken = [&](std::string_view token) {
        if (Passes(token, kControlWordStart)) {
            firstControlRow = row;
        } else if (Passes(token, kControlWordEnd)) {
            lastControlRow = row - 1;
        } else if (Passes(token, kWordStart)) {
            inWords = true;
        } else if (Passes(token, kWordEnd)) {
            inWords = false;
        } else if (Passes(token, kRdErrorStart)) {
            rdErrorFirstRow = row;
        } else if (Passes(token, kRdErrorEnd)) {
            rdErrorLastRow = row - 1;
        } else if (inWords) {
            // Fields fill slots 0..4 across tokens; empty fields between commas vanish.
            std::size_t start = 0;
            while (start <= token.size()) {
                std::size_t comma = token.find(',', start);
                std::size_t end = comma == std::string_view::npos ? token.size() : comma;
                if (end > start) {
                    fields[fieldSlot] =
                        std::string(token.substr(start, std::min(end - start, kMaxNameLength)));
                    if (++fieldSlot > 4) {
                        StoreRecord(fields, row, fullLogged);
                        fieldSlot = 0;
                    }
                }
                if (comma == std::string_view::npos) break;
                start = comma + 1;
            }
        }
    };

    // White-space separated tokens; a longer token is taken in pieces of at most 99
    // characters, as a width-limited read would.
    std::size_t pos = 0;
    while (pos < text.size()) {
        pos = text.find_first_not_of(kTokenSeparators, pos);
        if (pos == std::string::npos) break;
        std::size_t end = text.find_first_of(kTokenSeparators, pos);
        if (end == std::string::npos) end = text.size();
        for (std::size_t piece = pos; piece < end; piece += kMaxTokenLength)
            handleToken(
                std::string_view(text).substr(piece, std::min(kMaxTokenLength, end - piece)));
        pos = end;
    }
    if (readError) std::cerr << "Read error" << std::endl;

    lastRow = row - 1;
    WriteLog(logSource_, "Exiting Try Block:Load8B10BTable", kLogInfo);
}

void CMacros::StoreRecord(const std::array<std::string, 5>& fields, int& row, bool& fullLogged) {
    const int codeA = getValueFromBinary(fields[1]);
    const int codeB = getValueFromBinary(fields[2]);
    const std::int8_t change = DecimalByte(fields[3]);
    const int characterValue = getValueFromHex(fields[4]);
    const int needed = codeA == codeB ? 1 : 2;
    if (row + needed > kMaxRows) {
        if (!fullLogged)
            WriteLog(logSource_, "Load8B10BTable: more than 1200 rows, further records ignored",
                     kLogError);
        fullLogged = true;
        return;
    }
    const auto r = static_cast<std::size_t>(row);
    code[r] = codeA;
    disparity[r] = kSentAtRdMinus;
    disparityChange[r] = change;
    value[r] = characterValue;
    if (characterValue >= 0 && characterValue < kMaxNames)
        nameTable[static_cast<std::size_t>(characterValue)] = fields[0];
    if (needed == 1) {
        disparity[r] = kSentAtBoth;
    } else {
        code[r + 1] = codeB;
        disparity[r + 1] = kSentAtRdPlus;
        disparityChange[r + 1] = change;
        value[r + 1] = characterValue;
    }
    row += needed;
}

void CMacros::RebuildCodeIndex() {
    codeIndex_.fill(-1);
    const int last = std::min(lastRow, kMaxRows - 1);
    for (int r = last; r >= 0; --r) {
        const int c = code[static_cast<std::size_t>(r)];
        if (c >= 0 && c < kCodeCount)
            codeIndex_[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(r);
    }
}

int CMacros::getValueFromBinary(const std::string& text) {
    return GuardOr(0, "CMacros", "getValueFromBinary", [&] {
        long long sum = 0;
        bool saturated = false;
        long long weight = 1;
        for (std::size_t k = text.size(); k-- > 0;) {
            if (text[k] == '1') AddSaturating(sum, 1, weight, saturated);
            if (weight <= INT_MAX) weight *= 2;
        }
        return static_cast<int>(sum);
    });
}

int CMacros::getValueFromHex(const std::string& text) {
    return GuardOr(0, "CMacros", "getValueFromHex", [&] {
        long long sum = 0;
        bool saturated = false;
        long long weight = 1;
        for (std::size_t k = text.size(); k-- > 0;) {
            const int digit = HexDigit(text[k]);
            if (digit < 0) continue;  // "0x" and other marks use up no weight
            AddSaturating(sum, digit, weight, saturated);
            if (weight <= INT_MAX) weight *= 16;
        }
        return static_cast<int>(sum);
    });
}

int CMacros::getValueFromHex(const std::string& text, bool digitsOnly) {
    if (!digitsOnly) return getValueFromHex(text);
    return GuardOr(0, "CMacros", "getValueFromHex", [&] {
        long long sum = 0;
        bool saturated = false;
        long long weight = 1;
        for (std::size_t k = text.size(); k-- > 0;) {
            const int digit = HexDigit(Upper(text[k]));
            if (digit < 0) throw std::invalid_argument("not a hexadecimal digit");
            AddSaturating(sum, digit, weight, saturated);
            if (weight <= INT_MAX) weight *= 16;
        }
        return static_cast<int>(sum);
    });
}

// ---------------------------------------------------------------------------------------
// Lookups

int CMacros::Get8BitValue(const std::string& name) const {
    return GuardOr(-1, logSource_, "Get8BitValue", [&] {
        const std::string_view wanted = Trim(name, kLineBlanks);
        // An empty name is no character; without this it would find the first empty slot.
        if (wanted.empty()) return -1;
        for (int i = 0; i < kMaxNames; ++i)
            if (EqualNoCase(Trim(nameTable[static_cast<std::size_t>(i)], kLineBlanks), wanted))
                return i;
        return -1;
    });
}

std::string CMacros::GetWordFrom8Bit(int characterValue) const {
    return GuardOr(std::string("--"), logSource_, "GetWordFrom8Bit", [&] {
        if (characterValue < 0 || characterValue > lastControlRow || characterValue >= kMaxNames)
            return std::string("--");
        return nameTable[static_cast<std::size_t>(characterValue)];
    });
}

void CMacros::GetRDPandMfrom8BitVal(int characterValue, int& rdPlusCode, int& rdMinusCode) const {
    rdPlusCode = -1;
    rdMinusCode = -1;
    Guard(logSource_, "GetRDPandMfrom8BitVal", [&] {
        const int last = std::min(lastRow, kMaxRows - 1);
        for (int r = 0; r <= last; ++r) {
            const auto i = static_cast<std::size_t>(r);
            if (value[i] != characterValue) continue;
            if (disparity[i] == kSentAtRdMinus || disparity[i] == kSentAtBoth)
                rdMinusCode = code[i];
            if (disparity[i] == kSentAtRdPlus || disparity[i] == kSentAtBoth) rdPlusCode = code[i];
            if (rdPlusCode != -1 && rdMinusCode != -1) return;
        }
    });
}

// ---------------------------------------------------------------------------------------
// Protocol definition file

void CMacros::LoadPrimitive(const std::string& path) {
    Guard(logSource_, "LoadPrimitive", [&] {
        std::ifstream in;
        const bool opened = OpenRegular(in, path);
        averageWordCount = 0;
        standardGiven = 0;
        bitRateGiven = 0;
        triggerStandard = "IBAND";
        bitRateText = "1.25E6";

        WriteLog(logSource_, "BEfore Calling from LoadPrimitive:Load8B10BTable", kLogInfo);
        Load8B10BTable(Folders::DataFolder("Encoding") + "/" + "8b10b.csv");
        WriteLog(logSource_, "After Calling from LoadPrimitive:Load8B10BTable", kLogInfo);

        if (!opened) {
            ShowMessageBox("Couldn't open the Primitive file");
        } else {
            bool readError = false, truncated = false;
            const std::string text = ReadBounded(in, kMaxDefinitionFileBytes, readError, truncated);
            if (truncated)
                WriteLog(logSource_, "LoadPrimitive: file larger than 64 KiB, the rest is ignored",
                         kLogError);
            if (readError) WriteLog(logSource_, "LoadPrimitive: read error", kLogError);
            ReadDefinitionLines(text);
        }

        long long total = 0;
        for (const PrimitiveDefinition& p : primitives) total += p.wordCount;
        averageWordCount =
            primitives.empty()
                ? 0
                : static_cast<int>(total / static_cast<long long>(primitives.size()));
        if (primitives.empty())
            ShowMessageBox("There is no primitives found in the specified standard.");
    });
}

void CMacros::ReadDefinitionLines(const std::string& text) {
    auto afterComma = [](std::string_view line) {
        std::size_t comma = line.find(',');
        return comma == std::string_view::npos ? std::string_view{} : line.substr(comma + 1);
    };
    auto header = [](std::string_view field) {
        return std::string(field.substr(0, kMaxHeaderLength));
    };

    bool inCollection = false;
    int lineIndex = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        // Empty lines vanish; a Windows blank line ("\r" alone) counts as empty too.
        if (line.empty() || line == "\r") continue;
        if (lineIndex++ == 0) continue;  // title line, never interpreted
        if (lineIndex > 6) WriteLog(logSource_, "iLoopCounter >= 6", kLogInfo);

        if (Passes(line, kEncoding)) {
            encodingFileName = header(afterComma(line));
        } else if (Passes(line, kTriggerStandard)) {
            triggerStandard = header(Trim(afterComma(line), kLineBlanks));
            standardGiven = 1;
        } else if (Passes(line, kBitRatePerSec)) {
            bitRateText = header(afterComma(line));
            bitRateGiven = 1;
        } else if (Passes(line, kCollectionStart)) {
            inCollection = true;
            WriteLog(logSource_, "isCollectionStart == TRUE", kLogInfo);
        } else if (Passes(line, kCollectionEnd)) {
            inCollection = false;
        } else if (inCollection) {
            AddPrimitiveLine(line);
        }
    }
}

void CMacros::AddPrimitiveLine(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) WriteLog(logSource_, "COUNT::", kLogInfo);

    PrimitiveDefinition primitive;
    std::size_t comma = line.find(',');
    WriteLog(logSource_, "isStartWord - TRUE", kLogInfo);
    primitive.name = line.substr(0, comma);

    std::size_t pos = comma == std::string::npos ? std::string::npos : comma + 1;
    while (pos != std::string::npos) {
        std::size_t next = std::string::npos;
        std::size_t brace = line.find_first_not_of(" \t", pos);
        std::string field;
        if (brace != std::string::npos && line[brace] == '{') {
            // A brace group runs to its "}"; its commas belong to it.
            WriteLog(logSource_, "token - Braces only for PCI", kLogInfo);
            std::size_t close = line.find('}', brace + 1);
            field =
                line.substr(pos, close == std::string::npos ? std::string::npos : close + 1 - pos);
            if (close != std::string::npos) {
                next = line.find(',', close + 1);
                if (next != std::string::npos) ++next;
            }
            const std::size_t innerEnd = close == std::string::npos ? line.size() : close;
            const std::string_view inner =
                std::string_view(line).substr(brace + 1, innerEnd - brace - 1);
            Guard(logSource_, ("Problem in element filling " + field).c_str(), [&] {
                primitive.words.push_back(BraceWord(inner));
                primitive.brace = 1;
                WriteLog(logSource_, "EXIT: WORDSPEC", kLogInfo);
            });
        } else {
            std::size_t c = line.find(',', pos);
            field = line.substr(pos, c == std::string::npos ? std::string::npos : c - pos);
            next = c == std::string::npos ? std::string::npos : c + 1;
            WriteLog(logSource_, "ELSE : isStartWord - TRUE " + field, kLogInfo);
            Guard(logSource_, ("Problem in element filling " + field).c_str(), [&] {
                primitive.words.push_back(PlainWord(field));
                WriteLog(logSource_, "EXIT: WORDSPEC", kLogInfo);
            });
        }
        pos = next;
    }
    primitive.wordCount = static_cast<int>(primitive.words.size());

    // All four lists change together or not at all.
    const std::size_t before = primitives.size();
    const std::size_t singlesBefore = singleWordTable.size();
    const std::size_t foursBefore = fourWordPrimitives.size();
    try {
        const std::string name = primitive.name;
        const int wordCount = primitive.wordCount;
        const int firstValue = wordCount > 0 ? primitive.words[0].value : -1;
        primitives.push_back(std::move(primitive));
        primitiveNames.push_back(name);
        WriteLog(logSource_, "Adding a Primitive " + name, kLogInfo);
        if (wordCount == 1) {
            singleWordTable.emplace_back(name, firstValue);
            WriteLog(logSource_, "adding onewordprim", kLogInfo);
        }
        if (wordCount == 4) fourWordPrimitives.push_back(static_cast<int>(before));
    } catch (...) {
        primitives.resize(std::min(primitives.size(), before));
        primitiveNames.resize(std::min(primitiveNames.size(), before));
        singleWordTable.resize(std::min(singleWordTable.size(), singlesBefore));
        fourWordPrimitives.resize(std::min(fourWordPrimitives.size(), foursBefore));
        WriteLog(logSource_, "Problem while loading values to Vectors", kLogError);
    }
}

WordSpec CMacros::PlainWord(const std::string& field) const {
    WordSpec word;
    word.name = std::string(Trim(field, kLineBlanks));
    word.value = Get8BitValue(word.name);
    GetRDPandMfrom8BitVal(word.value, word.rdPlusCode, word.rdMinusCode);
    return word;
}

// {low-high} when the first item holds a "-", else {A,B,...}; the word itself has no
// name, value or codes.
WordSpec CMacros::BraceWord(std::string_view inner) const {
    WordSpec word;
    word.brace = 1;
    const std::string_view first = inner.substr(0, inner.find(','));
    const std::size_t dash = first.find('-');
    if (dash != std::string_view::npos) {
        word.rangeLow = Get8BitValue(std::string(first.substr(0, dash)));
        word.rangeHigh = Get8BitValue(std::string(first.substr(dash + 1)));
        return word;
    }
    std::size_t start = 0;
    while (start <= inner.size()) {
        const std::size_t comma = inner.find(',', start);
        const std::string_view item =
            Trim(inner.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                     : comma - start),
                 kLineBlanks);
        if (!item.empty()) word.nameList.emplace_back(item);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return word;
}

}  // namespace kestrava

#include "session/TriggerSetup.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

#include "base/Guard.h"
#include "base/ProfileFile.h"
#include "definition/CMacros.h"

namespace kestrava {
namespace {

const std::string kLogSource = "CTriggerSetupDlg";

constexpr std::array<const char*, 4> kRdPlusKeys = {"rdPlus1", "rdPlus2", "rdPlus3", "rdPlus4"};
constexpr std::array<const char*, 4> kRdMinusKeys = {"rdMinus1", "rdMinus2", "rdMinus3",
                                                     "rdMinus4"};
constexpr std::array<const char*, 4> kCharKeys = {"char1", "char2", "char3", "char4"};

// The integer keys in file order, paired with their fields.
struct IntKey {
    const char* key;
    int TriggerSetup::*field;
};
constexpr std::array<IntKey, 5> kFlagKeys = {{
    {"IsValidCharSelected", &TriggerSetup::IsValidCharSelected},
    {"IsSpecificCharSelected", &TriggerSetup::IsSpecificCharSelected},
    {"IsWordSelected", &TriggerSetup::IsWordSelected},
    {"IsBitSelected", &TriggerSetup::IsBitSelected},
    {"IsCharSelected", &TriggerSetup::IsCharSelected},
}};
constexpr std::array<IntKey, 7> kSelectionKeys = {{
    {"formatSelection", &TriggerSetup::formatSelection},
    {"patternSelection", &TriggerSetup::patternSelection},
    {"8B10BwordSelection", &TriggerSetup::wordSelection},
    {"triggerOnSelection", &TriggerSetup::triggerOnSelection},
    {"bCharacterError", &TriggerSetup::bCharacterError},
    {"bDisparityError", &TriggerSetup::bDisparityError},
    {"bLossofByteSync", &TriggerSetup::bLossofByteSync},
}};

// Integer keys are accepted when shorter than 5 characters.
constexpr std::size_t kIntegerTextLimit = 5;
constexpr std::size_t kEditPatternLimit = 50;
constexpr std::size_t kRdTextLimit = 12;
constexpr std::size_t kPatternKeep = 40;
constexpr std::size_t kRdKeep = 10;

std::string LastChars(const std::string& text, std::size_t count) {
    return text.size() > count ? text.substr(text.size() - count) : text;
}

void LoadInt(const ProfileFile& file, const IntKey& k, TriggerSetup& setup) {
    std::optional<std::string> text = ProfileValue(file, kTriggerSection, k.key);
    if (text && text->size() < kIntegerTextLimit) setup.*k.field = ProfileInt(*text);
}

void LoadRdField(const ProfileFile& file, const char* key, std::string& field) {
    std::optional<std::string> text = ProfileValue(file, kTriggerSection, key);
    if (!text || text->size() >= kRdTextLimit) return;
    std::string kept = LastChars(*text, kRdKeep);
    if (IsBinaryPattern(kept)) field = kept;
}

bool SaveInt(ProfileFile& file, const char* key, int value) {
    return file.Set(kTriggerSection, key, std::to_string(value));
}

}  // namespace

int ProfileInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

std::optional<std::string> ProfileValue(const ProfileFile& file, std::string_view section,
                                        std::string_view key) {
    std::optional<std::string> value = file.Get(section, key);
    if (value && value->size() > kProfileValueMax) value->resize(kProfileValueMax);
    return value;
}

bool IsBinaryPattern(std::string_view text) {
    if (text.empty() || text.size() > 40) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == '0' || c == '1' || c == 'x' || c == 'X'; });
}

bool IsHexPattern(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

std::optional<std::string> FilterRdField(std::string_view text) {
    if (text.size() > 10) return std::nullopt;
    std::string kept;
    for (char c : text)
        if (c == '0' || c == '1' || c == 'x' || c == 'X') kept += c;
    return kept;
}

// ---------------------------------------------------------------------------------------
// The record

bool TriggerSetup::Save(ProfileFile& file) const {
    bool ok = true;
    for (const IntKey& k : kFlagKeys) ok = SaveInt(file, k.key, this->*k.field) && ok;
    ok = file.Set(kTriggerSection, "editPattern", editPattern) && ok;
    for (std::size_t i = 0; i < 4; ++i)
        ok = file.Set(kTriggerSection, kRdPlusKeys[i], rdPlus[i]) && ok;
    for (std::size_t i = 0; i < 4; ++i)
        ok = file.Set(kTriggerSection, kRdMinusKeys[i], rdMinus[i]) && ok;
    for (std::size_t i = 0; i < 4; ++i)
        ok = file.Set(kTriggerSection, kCharKeys[i], charName[i]) && ok;
    for (const IntKey& k : kSelectionKeys) ok = SaveInt(file, k.key, this->*k.field) && ok;
    return ok;
}

void TriggerSetup::Load(const ProfileFile& file) {
    *this = TriggerSetup();
    for (const IntKey& k : kFlagKeys) LoadInt(file, k, *this);

    // The length rule is applied to the last 40 characters, so a longer binary text
    // (below 50) keeps its end.
    if (std::optional<std::string> text = ProfileValue(file, kTriggerSection, "editPattern");
        text && text->size() < kEditPatternLimit) {
        std::string kept = LastChars(*text, kPatternKeep);
        if (IsBinaryPattern(kept) || IsHexPattern(kept)) editPattern = kept;
    }
    for (std::size_t i = 0; i < 4; ++i) LoadRdField(file, kRdPlusKeys[i], rdPlus[i]);
    for (std::size_t i = 0; i < 4; ++i) LoadRdField(file, kRdMinusKeys[i], rdMinus[i]);
    for (std::size_t i = 0; i < 4; ++i) {
        std::optional<std::string> text = ProfileValue(file, kTriggerSection, kCharKeys[i]);
        if (text && text->size() >= 4 && text->size() <= 8) charName[i] = *text;
    }
    for (const IntKey& k : kSelectionKeys) LoadInt(file, k, *this);

    if (IsWordSelected == 0 && IsBitSelected == 0 && IsCharSelected == 0) IsWordSelected = 1;
    if (IsValidCharSelected == 0 && IsSpecificCharSelected == 0) IsSpecificCharSelected = 1;
}

TriggerPatternInputs TriggerSetup::PatternInputs() const {
    TriggerPatternInputs in;
    in.on = TriggerOnOf(triggerOnSelection);
    in.disparity = DisparityOf(patternSelection);
    in.format = FormatOf(formatSelection);
    in.rdPlus = rdPlus;
    in.rdMinus = rdMinus;
    in.bitPattern = editPattern;
    return in;
}

ErrorKinds TriggerSetup::Errors() const {
    ErrorKinds e;
    e.characterError = bCharacterError != 0;
    e.disparityError = bDisparityError != 0;
    e.lossOfByteSync = bLossofByteSync != 0;
    return e;
}

void TriggerSetup::SetErrors(const ErrorKinds& errors) {
    bCharacterError = errors.characterError ? 1 : 0;
    bDisparityError = errors.disparityError ? 1 : 0;
    bLossofByteSync = errors.lossOfByteSync ? 1 : 0;
}

TriggerSetup& TheTriggerSetup() {
    static TriggerSetup setup;
    return setup;
}

// ---------------------------------------------------------------------------------------
// Definition, bit rate

TriggerDefinition TriggerDefinitionOf(const CMacros* macros) {
    TriggerDefinition d;
    if (!macros) return d;
    d.loaded = true;
    d.standard = macros->triggerStandard;
    d.bitRate = macros->bitRateText;
    d.standardGiven = macros->standardGiven != 0;
    d.bitRateGiven = macros->bitRateGiven != 0;
    return d;
}

bool BitRateWithinMaximum(const CMacros* macros, double maximumBitRate) {
    if (!macros) return false;
    const float rate = static_cast<float>(LeadingNumber(macros->bitRateText));
    return static_cast<double>(rate) <= maximumBitRate;
}

// ---------------------------------------------------------------------------------------
// Rows

std::string CodeText(int code) {
    if (code < 0 || code >= CMacros::kCodeCount) return kUnknownCode;
    std::string text(10, '0');
    for (int bit = 0; bit < 10; ++bit)
        if (code & (1 << bit)) text[static_cast<std::size_t>(9 - bit)] = '1';
    return text;
}

namespace {

struct CodePair {
    int rdPlus = -1;
    int rdMinus = -1;
};

// Each row follows its own running disparity; a code of unequal ones and zeros in the
// RD+ row turns both. A column without a code leaves the disparity as it was.
void FillRows(const std::array<CodePair, 4>& codes, TriggerRows& rows) {
    bool plusRowPositive = true;
    for (std::size_t i = 0; i < 4; ++i) {
        const CodePair& c = codes[i];
        const int plusCode = plusRowPositive ? c.rdPlus : c.rdMinus;
        const int minusCode = plusRowPositive ? c.rdMinus : c.rdPlus;
        if (plusCode < 0 || minusCode < 0 || plusCode >= CMacros::kCodeCount ||
            minusCode >= CMacros::kCodeCount) {
            rows.rdPlus[i] = kUnknownCode;
            rows.rdMinus[i] = kUnknownCode;
            continue;
        }
        rows.rdPlus[i] = CodeText(plusCode);
        rows.rdMinus[i] = CodeText(minusCode);
        const int ones = __builtin_popcount(static_cast<unsigned>(plusCode));
        if (ones != 5) plusRowPositive = !plusRowPositive;
    }
}

}  // namespace

TriggerRows RowsFromCharacters(const CMacros& macros, const std::array<std::string, 4>& names) {
    TriggerRows rows;
    rows.names = names;
    std::array<CodePair, 4> codes;
    for (std::size_t i = 0; i < 4; ++i) {
        const int value = macros.Get8BitValue(names[i]);
        if (value >= 0) macros.GetRDPandMfrom8BitVal(value, codes[i].rdPlus, codes[i].rdMinus);
    }
    FillRows(codes, rows);
    return rows;
}

std::optional<TriggerRows> RowsFromWord(const CMacros& macros, int wordIndex) {
    if (wordIndex < 0) return std::nullopt;
    TriggerRows rows;
    // Only indexes that name a real four-word primitive count.
    std::vector<const PrimitiveDefinition*> words;
    for (int p : macros.fourWordPrimitives)
        if (p >= 0 && static_cast<std::size_t>(p) < macros.primitives.size() &&
            macros.primitives[static_cast<std::size_t>(p)].words.size() >= 4)
            words.push_back(&macros.primitives[static_cast<std::size_t>(p)]);
    if (words.empty()) {
        rows.names.fill("--");
        rows.rdPlus.fill("1111111111");
        rows.rdMinus.fill("1111111111");
        return rows;
    }
    const PrimitiveDefinition& word =
        *words[std::min(static_cast<std::size_t>(wordIndex), words.size() - 1)];
    std::array<CodePair, 4> codes;
    for (std::size_t i = 0; i < 4; ++i) {
        rows.names[i] = word.words[i].name;
        codes[i] = {word.words[i].rdPlusCode, word.words[i].rdMinusCode};
    }
    FillRows(codes, rows);
    return rows;
}

std::vector<std::string> FourWordPrimitiveNames(const CMacros& macros) {
    std::vector<std::string> names;
    for (int p : macros.fourWordPrimitives)
        if (p >= 0 && static_cast<std::size_t>(p) < macros.primitives.size() &&
            macros.primitives[static_cast<std::size_t>(p)].words.size() >= 4)
            names.push_back(macros.primitives[static_cast<std::size_t>(p)].name);
    return names;
}

// ---------------------------------------------------------------------------------------
// Sending

void ResendSavedTrigger(CSerialTrigger& trigger, const TriggerSetup& setup,
                        const TriggerDefinition& definition, const std::string& source) {
    Guard(kLogSource, "ResendSavedTrigger", [&] {
        if (setup.triggerOnSelection != static_cast<int>(TriggerOn::kCodeError)) {
            trigger.ReapplyPatternTrigger(definition, source,
                                          ComposeTriggerPatterns(setup.PatternInputs()));
            return;
        }
        ErrorKind kind = ErrorKind::kDisparityError;
        if (setup.bCharacterError == 1)
            kind = ErrorKind::kCharacterError;
        else if (setup.bLossofByteSync == 1)
            kind = ErrorKind::kLossOfByteSync;
        trigger.SendErrorTriggerBase(definition);
        trigger.ApplyErrorCondition(kind);
    });
}

TriggerEditor::TriggerEditor(ITriggerLink& link, std::string sourceText)
    : trigger_(link), source_(std::move(sourceText)) {}

void TriggerEditor::Restore(const TriggerSetup& setup, const TriggerDefinition& definition) {
    Guard(kLogSource, "OnInitDialog", [&] {
        values = setup;
        trigger_.SetErrors({});
        const std::array<std::pair<int, ErrorKind>, 3> stored = {{
            {setup.bCharacterError, ErrorKind::kCharacterError},
            {setup.bDisparityError, ErrorKind::kDisparityError},
            {setup.bLossofByteSync, ErrorKind::kLossOfByteSync},
        }};
        // Each stored kind is sent again; the boxes exclude each other, so the last one
        // sent is the one that stays set.
        for (const auto& [flag, kind] : stored) {
            if (flag != 1) continue;
            trigger_.SendErrorTriggerBase(definition);
            trigger_.ApplyErrorCondition(kind);
        }
        values.SetErrors(trigger_.Errors());
    });
}

void TriggerEditor::RecomputeFromWord(const CMacros& macros) {
    Guard(kLogSource, "OnSelchange8b10bWord", [&] {
        if (std::optional<TriggerRows> rows = RowsFromWord(macros, values.wordSelection)) {
            values.charName = rows->names;
            values.rdPlus = rows->rdPlus;
            values.rdMinus = rows->rdMinus;
        }
    });
}

void TriggerEditor::RecomputeFromCharacters(const CMacros& macros) {
    Guard(kLogSource, "ReCalculateRD", [&] {
        TriggerRows rows = RowsFromCharacters(macros, values.charName);
        values.rdPlus = rows.rdPlus;
        values.rdMinus = rows.rdMinus;
    });
}

int TriggerEditor::ClickErrorKind(const TriggerDefinition& definition, ErrorKind kind) {
    return GuardOr(0, kLogSource, "OnErrorCheck", [&] {
        ErrorKinds current;
        if (std::optional<ErrorKind> set = values.Errors().First()) current.SetOnly(*set);
        trigger_.SetErrors(current);
        const int connected = trigger_.ToggleErrorKind(definition, kind);
        values.SetErrors(trigger_.Errors());
        return connected;
    });
}

int TriggerEditor::Apply(const TriggerDefinition& definition) {
    return GuardOr(0, kLogSource, "OnApply", [&] {
        return trigger_.ApplyPatternTrigger(definition, source_,
                                            ComposeTriggerPatterns(values.PatternInputs()));
    });
}

bool TriggerEditor::Close(const CMacros* macros, double maximumBitRate, TriggerSetup& record) {
    return GuardOr(false, kLogSource, "OnClose", [&] {
        if (!BitRateWithinMaximum(macros, maximumBitRate)) return false;
        record = values;
        const TriggerDefinition definition = TriggerDefinitionOf(macros);
        const TriggerOn on = TriggerOnOf(values.triggerOnSelection);
        if (on == TriggerOn::kCodeError) {
            trigger_.SetErrors(values.Errors());
            trigger_.ReapplyErrorCondition();
        } else if (on == TriggerOn::kCharacter && values.IsValidCharSelected != 0 &&
                   values.IsSpecificCharSelected == 0) {
            // The any-valid choice belongs to "8b/10b Character" only; a word or bit
            // pattern trigger never turns into a control-character trigger.
            trigger_.ApplyControlCharacterTrigger(definition, source_);
        } else {
            trigger_.ApplyPatternTrigger(definition, source_,
                                         ComposeTriggerPatterns(values.PatternInputs()));
        }
        return true;
    });
}

}  // namespace kestrava

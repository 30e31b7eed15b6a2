// The program-wide trigger-setup record (section "Trigger" of a setup file) and the
// non-widget half of the trigger setup dialog: the two code rows computed from four
// characters or a protocol word, the pattern checks, the exclusive error kinds, the store
// on "Close" and the re-send of a saved trigger at setup recall.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/SerialTrigger.h"

namespace kestrava {

class CMacros;
class ProfileFile;

inline constexpr const char* kTriggerSection = "Trigger";
// What a column shows when its character has no code.
inline constexpr const char* kUnknownCode = "XXXXXXXXXX";

struct TriggerSetup {
    int IsValidCharSelected = 1;
    int IsSpecificCharSelected = 0;
    int IsWordSelected = 1;
    int IsBitSelected = 0;
    int IsCharSelected = 0;
    std::string editPattern = "1100000101010101010101010101010010011100";
    std::array<std::string, 4> rdPlus = {"1100000101", "0101010101", "0101010101", "0010011100"};
    std::array<std::string, 4> rdMinus = {"0011111010", "0101010101", "0101010101", "1101100011"};
    std::array<std::string, 4> charName = {"K28.5", "D10.2", "D10.2", "D27.3"};
    int formatSelection = 0;
    int patternSelection = 0;
    int wordSelection = 0;  // key "8B10BwordSelection"
    int triggerOnSelection = 0;
    int bCharacterError = 0;
    int bDisparityError = 0;
    int bLossofByteSync = 0;

    // Writes every key of the "Trigger" section, in file order. False when a value could
    // not be written (a line break in a text).
    bool Save(ProfileFile& file) const;
    // Presets first, then each key that is present and accepted; then at least one edit
    // mode and one character choice are set. A missing integer key keeps its preset.
    void Load(const ProfileFile& file);

    TriggerPatternInputs PatternInputs() const;
    ErrorKinds Errors() const;
    void SetErrors(const ErrorKinds& errors);

    bool operator==(const TriggerSetup&) const = default;
};

// The record of the running program; it changes only by "Close" and by setup recall.
TriggerSetup& TheTriggerSetup();

// A profile integer: leading blanks, an optional sign and the digits that follow (0 when
// there are none); saturates instead of overflowing.
int ProfileInt(std::string_view text);
// A value read from a profile, cut to kProfileValueMax characters; nullopt when missing.
std::optional<std::string> ProfileValue(const ProfileFile& file, std::string_view section,
                                        std::string_view key);

// 1 to 40 characters, each "0", "1", "x" or "X".
bool IsBinaryPattern(std::string_view text);
// 1 to 10 characters, each "0"-"9" or "A"-"F".
bool IsHexPattern(std::string_view text);
// An RD field edited: nullopt for a text longer than 10 characters (the dialog shows
// "Invalid Bin entry"), else the text without anything but "0", "1", "x" and "X".
std::optional<std::string> FilterRdField(std::string_view text);

// The trigger definition of a protocol definition (none when null).
TriggerDefinition TriggerDefinitionOf(const CMacros* macros);
// True when the definition's bit rate, as a float, is not above the instrument maximum;
// false without a definition.
bool BitRateWithinMaximum(const CMacros* macros, double maximumBitRate);

// The two code rows of a four-character word: the RD+ row encoded from positive running
// disparity, the RD- row from negative.
struct TriggerRows {
    std::array<std::string, 4> names;
    std::array<std::string, 4> rdPlus;
    std::array<std::string, 4> rdMinus;
};

// Ten binary digits, most significant first; kUnknownCode for a code outside 0-1023.
std::string CodeText(int code);
TriggerRows RowsFromCharacters(const CMacros& macros, const std::array<std::string, 4>& names);
// The word at index of the definition's four-word primitives; an index past the end
// means the last. Without any four-word primitive the names are "--" and the fields
// "1111111111"; a negative index (no selection) gives nullopt.
std::optional<TriggerRows> RowsFromWord(const CMacros& macros, int wordIndex);
// The names of the four-word primitives, for the "8b/10b Word" list.
std::vector<std::string> FourWordPrimitiveNames(const CMacros& macros);

// Sends a saved trigger again (setup recall): the pattern sequence, or for "8b/10b Code
// Error" the base sequence and the condition of the saved error kind.
void ResendSavedTrigger(CSerialTrigger& trigger, const TriggerSetup& setup,
                        const TriggerDefinition& definition, const std::string& source);

// The dialog's inputs and what its buttons do, without widgets: the window mirrors its
// controls into values and calls these.
class TriggerEditor {
  public:
    TriggerEditor(ITriggerLink& link, std::string sourceText);

    // Opening: copy the record; a stored error kind is sent again.
    void Restore(const TriggerSetup& setup, const TriggerDefinition& definition);
    // Rows from the selected word, or from the four character names.
    void RecomputeFromWord(const CMacros& macros);
    void RecomputeFromCharacters(const CMacros& macros);
    // An error check box clicked (they exclude each other).
    int ClickErrorKind(const TriggerDefinition& definition, ErrorKind kind);
    // "Apply": the pattern sequence with the current inputs; nothing is stored.
    int Apply(const TriggerDefinition& definition);
    // "Close": with a bit rate within the maximum the values are stored into record and
    // the trigger is sent; false, with nothing stored or sent, otherwise.
    bool Close(const CMacros* macros, double maximumBitRate, TriggerSetup& record);

    const std::string& SourceText() const { return source_; }
    CSerialTrigger& Trigger() { return trigger_; }

    TriggerSetup values;

  private:
    CSerialTrigger trigger_;
    std::string source_;
};

}  // namespace kestrava

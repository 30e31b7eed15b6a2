// The instrument's hardware 8b/10b serial trigger: the command sequences that set it up.
// Every command is one write, in a fixed order; no reply is read and no result is looked
// at, except the first write of SendTriggerDefaults.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

class COscilloscope;

// What the sequences need of the loaded protocol definition; the caller fills it, so the
// instrument layer does not depend on the protocol layer.
struct TriggerDefinition {
    bool loaded = false;
    std::string standard;
    std::string bitRate;
    bool standardGiven = false;
    bool bitRateGiven = false;
};

// The instrument as the sequences see it: COscilloscope in the program, a recorder or a
// plain VISA session in tests.
class ITriggerLink {
  public:
    virtual ~ITriggerLink() = default;
    virtual int OpenConnection() = 0;
    virtual int CloseConnection(bool close) = 0;
    virtual int Write(const std::string& command) = 0;
    virtual int Read(std::string& reply) = 0;
};

// The program's instrument object behind ITriggerLink.
class ScopeTriggerLink final : public ITriggerLink {
  public:
    explicit ScopeTriggerLink(COscilloscope& scope) : scope_(scope) {}
    int OpenConnection() override;
    int CloseConnection(bool close) override;
    int Write(const std::string& command) override;
    int Read(std::string& reply) override;

  private:
    COscilloscope& scope_;
};

// The dialog's list entries, by index.
enum class TriggerOn { kWord = 0, kCharacter = 1, kCodeError = 2, kBitPattern = 3 };
enum class Disparity { kEither = 0, kPositive = 1, kNegative = 2 };
enum class PatternFormat { kBinary = 0, kHex = 1 };
enum class ErrorKind { kCharacterError = 0, kDisparityError = 1, kLossOfByteSync = 2 };

inline constexpr std::array<const char*, 4> kTriggerOnTexts = {"8b/10b Word", "8b/10b Character",
                                                               "8b/10b Code Error", "BitPattern"};
inline constexpr std::array<const char*, 3> kDisparityTexts = {
    "Either Disparity", "Positive Disparity", "Negative Disparity"};
inline constexpr std::array<const char*, 2> kFormatTexts = {"Binary", "Hex"};
inline constexpr std::array<const char*, 3> kErrorKindTexts = {"Character Error", "Disparity Error",
                                                               "Loss of Byte Sync"};

// A list index read from a file or a widget; anything outside the list counts as its
// first entry.
TriggerOn TriggerOnOf(int index);
Disparity DisparityOf(int index);
PatternFormat FormatOf(int index);

// A composed command holds at most this many characters (a 200-byte buffer with its
// terminating zero). A longer one is not sent: it is logged and the sequence goes on.
inline constexpr std::size_t kCommandLimit = 199;

// The inputs pattern 0 and pattern 1 are composed from.
struct TriggerPatternInputs {
    TriggerOn on = TriggerOn::kWord;
    Disparity disparity = Disparity::kEither;
    PatternFormat format = PatternFormat::kBinary;
    std::array<std::string, 4> rdPlus;
    std::array<std::string, 4> rdMinus;
    std::string bitPattern;
};

struct TriggerPatterns {
    std::string pattern0;
    std::string pattern1;
};

TriggerPatterns ComposeTriggerPatterns(const TriggerPatternInputs& inputs);
// Upper-cases, turns each hex digit into four binary digits and drops everything else.
std::string HexToBinary(std::string_view text);
// The one command that names the standard or the bit rate of the trigger definition.
std::string StandardOrRateCommand(const TriggerDefinition& definition);
const char* ErrorConditionCommand(ErrorKind kind);

// The three error check boxes; at most one is set.
struct ErrorKinds {
    bool characterError = false;
    bool disparityError = false;
    bool lossOfByteSync = false;

    bool IsSet(ErrorKind kind) const;
    // Sets kind and clears the other two.
    void SetOnly(ErrorKind kind);
    void Clear() { *this = ErrorKinds(); }
    // The first set, in the order character, disparity, loss of byte sync.
    std::optional<ErrorKind> First() const;
};

class CSerialTrigger {
  public:
    explicit CSerialTrigger(ITriggerLink& link) : link_(link) {}

    // Returns 0 when the first write finds no session, else 1.
    int SendTriggerDefaults(const TriggerDefinition& definition);
    // Channels 0-3 only; 1 when sent, 0 for any other index.
    int SetTriggerSourceChannel(int index);
    // The sequences that connect return what the connection gave (1 connected, 0 not);
    // they run to their end either way, their writes then doing nothing.
    int ApplyPatternTrigger(const TriggerDefinition& definition, const std::string& source,
                            const TriggerPatterns& patterns);
    int ReapplyPatternTrigger(const TriggerDefinition& definition, const std::string& source,
                              const TriggerPatterns& patterns);
    int ApplyControlCharacterTrigger(const TriggerDefinition& definition,
                                     const std::string& source);
    int SendErrorTriggerBase(const TriggerDefinition& definition);
    // Records kind as the one set, then sends its condition.
    int ApplyErrorCondition(ErrorKind kind);
    // Sends the condition of the kind set, if any; 0 and nothing sent when none is.
    int ReapplyErrorCondition();
    int ResetPatternToAnyControl();

    // An error check box clicked: the one set is cleared (base sequence alone), a clear
    // one becomes the only one set (base sequence and its condition). Returns the
    // connection result of the last sequence sent.
    int ToggleErrorKind(const TriggerDefinition& definition, ErrorKind kind);

    const ErrorKinds& Errors() const { return errors_; }
    void SetErrors(const ErrorKinds& errors) { errors_ = errors; }

  private:
    int Send(const char* method, const std::string& command);
    int Connect() { return link_.OpenConnection(); }
    void Release() { link_.CloseConnection(false); }
    void SendSerdesBase();
    void SendPatternCommands(const char* method, const TriggerPatterns& patterns);
    void SendErrorConditionSteps(const char* method, ErrorKind kind);

    ITriggerLink& link_;
    ErrorKinds errors_;
};

// The instrument's highest serial-trigger bit rate: asks the present rate, requests
// 1e11, asks again (the instrument clamps to its maximum) and restores the first rate.
// 0 when there is no instrument to ask.
double ProbeMaximumBitRate(ITriggerLink& link);

// The leading decimal number of a text, as the usual text-to-float conversion reads it
// (blanks skipped, 0 without digits).
double LeadingNumber(std::string_view text);

}  // namespace kestrava

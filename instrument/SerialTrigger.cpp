#include "instrument/SerialTrigger.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/Guard.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "instrument/COscilloscope.h"

namespace kestrava {
namespace {

// The trigger sequences belong to the instrument object and log under its name.
const std::string kLogSource = "Oscilloscope";

constexpr const char* kModeNormal = "TRIGGER:A:MODE NORMAL";
constexpr const char* kConditionNone = "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0";
constexpr const char* kTypeSerial = "TRIGGER:A:Type SERIAL";
constexpr const char* kCode8b10b = "TRIGger:A:SERIal:CODe S8B10B";
constexpr const char* kControlBit11 = "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,1";
constexpr const char* kControlBit10 = "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,0";
constexpr const char* kControlBit00 = "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0";
constexpr const char* kControlBit01 = "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1";
constexpr const char* kControlBit161 = "TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1";
constexpr const char* kAcquireRun = "ACQUIRE:STATE RUN";
constexpr const char* kAnyControlPattern0 = "TRIGger:A:SERIAL:SERDes:PATtern 0,\"X1X\"";
constexpr const char* kAnyControlData = "TRIGger:A:SERIAL:DATA:PATTERN \"X1X\"";
constexpr const char* kSourcePrefix = "Trigger:A:Serial:Source ";
constexpr const char* kStandardPrefix = "TRIGger:A:SERIal:STANdard ";
constexpr const char* kNoStandard = "TRIGger:A:SERIal:STANdard  INFINIBAND";
constexpr const char* kBitRatePrefix = "TRIGger:A:SERIal:BitRate ";
constexpr const char* kBitRateQuery = "TRIGger:A:SERIal:BitRate?";

std::string Joined(const std::array<std::string, 4>& row) {
    return row[0] + row[1] + row[2] + row[3];
}

// Picks pattern 0 and 1 from the two rows as the disparity choice says.
TriggerPatterns ByDisparity(Disparity disparity, std::string rdPlus, std::string rdMinus) {
    switch (disparity) {
        case Disparity::kPositive:
            return {rdMinus, rdMinus};
        case Disparity::kNegative:
            return {rdPlus, rdPlus};
        case Disparity::kEither:
            break;
    }
    return {std::move(rdPlus), std::move(rdMinus)};
}

}  // namespace

int ScopeTriggerLink::OpenConnection() {
    return scope_.OpenConnection();
}
int ScopeTriggerLink::CloseConnection(bool close) {
    return scope_.CloseConnection(close);
}
int ScopeTriggerLink::Write(const std::string& command) {
    return scope_.Write(command);
}
int ScopeTriggerLink::Read(std::string& reply) {
    return scope_.Read(reply);
}

TriggerOn TriggerOnOf(int index) {
    return index >= 0 && index <= 3 ? static_cast<TriggerOn>(index) : TriggerOn::kWord;
}
Disparity DisparityOf(int index) {
    return index >= 0 && index <= 2 ? static_cast<Disparity>(index) : Disparity::kEither;
}
PatternFormat FormatOf(int index) {
    return index == 1 ? PatternFormat::kHex : PatternFormat::kBinary;
}

std::string HexToBinary(std::string_view text) {
    static constexpr const char* kNibbles[16] = {"0000", "0001", "0010", "0011", "0100", "0101",
                                                 "0110", "0111", "1000", "1001", "1010", "1011",
                                                 "1100", "1101", "1110", "1111"};
    std::string bits;
    bits.reserve(text.size() * 4);
    for (char c : text) {
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (u >= '0' && u <= '9')
            bits += kNibbles[u - '0'];
        else if (u >= 'A' && u <= 'F')
            bits += kNibbles[u - 'A' + 10];
    }
    return bits;
}

TriggerPatterns ComposeTriggerPatterns(const TriggerPatternInputs& in) {
    switch (in.on) {
        case TriggerOn::kWord:
            return ByDisparity(in.disparity, Joined(in.rdPlus), Joined(in.rdMinus));
        case TriggerOn::kCharacter:
            return ByDisparity(in.disparity, in.rdPlus[0], in.rdMinus[0]);
        case TriggerOn::kBitPattern: {
            std::string bits =
                in.format == PatternFormat::kHex ? HexToBinary(in.bitPattern) : in.bitPattern;
            return {bits, bits};
        }
        case TriggerOn::kCodeError:
            break;
    }
    return {};
}

std::string StandardOrRateCommand(const TriggerDefinition& d) {
    if (!d.loaded) return kNoStandard;
    if (d.bitRateGiven) return kBitRatePrefix + d.bitRate;
    if (d.standardGiven) return kStandardPrefix + d.standard;
    return kNoStandard;
}

const char* ErrorConditionCommand(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kCharacterError:
            return "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,4";
        case ErrorKind::kDisparityError:
            return "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5";
        case ErrorKind::kLossOfByteSync:
            return "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,6";
    }
    return "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0";
}

bool ErrorKinds::IsSet(ErrorKind kind) const {
    switch (kind) {
        case ErrorKind::kCharacterError:
            return characterError;
        case ErrorKind::kDisparityError:
            return disparityError;
        case ErrorKind::kLossOfByteSync:
            return lossOfByteSync;
    }
    return false;
}

void ErrorKinds::SetOnly(ErrorKind kind) {
    Clear();
    switch (kind) {
        case ErrorKind::kCharacterError:
            characterError = true;
            break;
        case ErrorKind::kDisparityError:
            disparityError = true;
            break;
        case ErrorKind::kLossOfByteSync:
            lossOfByteSync = true;
            break;
    }
}

std::optional<ErrorKind> ErrorKinds::First() const {
    if (characterError) return ErrorKind::kCharacterError;
    if (disparityError) return ErrorKind::kDisparityError;
    if (lossOfByteSync) return ErrorKind::kLossOfByteSync;
    return std::nullopt;
}

// Refusing is safer than cutting: a cut pattern would arm the trigger on something else.
int CSerialTrigger::Send(const char* method, const std::string& command) {
    if (command.size() > kCommandLimit) {
        WriteLog(kLogSource,
                 std::string(method) + ": command of " + std::to_string(command.size()) +
                     " characters is longer than 199 and was not sent",
                 kLogError);
        return 0;
    }
    return link_.Write(command);
}

int CSerialTrigger::SendTriggerDefaults(const TriggerDefinition& definition) {
    return GuardOr(0, kLogSource, "SendTriggerDefaults", [&] {
        if (Send("SendTriggerDefaults", kModeNormal) == 0) return 0;
        Send("SendTriggerDefaults", kConditionNone);
        Send("SendTriggerDefaults", kTypeSerial);
        Send("SendTriggerDefaults", kCode8b10b);
        Send("SendTriggerDefaults", kControlBit11);
        Send("SendTriggerDefaults", StandardOrRateCommand(definition));
        return 1;
    });
}

int CSerialTrigger::SetTriggerSourceChannel(int index) {
    return GuardOr(0, kLogSource, "SetTriggerSourceChannel", [&] {
        // A negative index names no channel either.
        if (index < 0 || index >= 4) return 0;
        Connect();
        char command[64];
        std::snprintf(command, sizeof command, "Trigger:A:Serial:Source CH%d", index + 1);
        Send("SetTriggerSourceChannel", command);
        return 1;
    });
}

void CSerialTrigger::SendSerdesBase() {
    Send("SerdesBase", kTypeSerial);
    Send("SerdesBase", kCode8b10b);
    Send("SerdesBase", kControlBit11);
    Send("SerdesBase", kControlBit00);
    Send("SerdesBase", kControlBit01);
}

void CSerialTrigger::SendPatternCommands(const char* method, const TriggerPatterns& p) {
    Send(method, "TRIGger:A:SERIAL:SERDes:PATtern 0,\"" + p.pattern0 + "\"");
    Send(method, "TRIGger:A:SERIAL:DATA:PATTERN \"" + p.pattern0 + "\"");
    Send(method, "TRIGger:A:SERIAL:SERDes:PATtern 1,\"" + p.pattern1 + "\"");
}

int CSerialTrigger::ApplyPatternTrigger(const TriggerDefinition& definition,
                                        const std::string& source,
                                        const TriggerPatterns& patterns) {
    constexpr const char* kMethod = "ApplyPatternTrigger";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const int connected = Connect();
        Send(kMethod, kModeNormal);
        Send(kMethod, kConditionNone);
        SendSerdesBase();
        Send(kMethod, StandardOrRateCommand(definition));
        Send(kMethod, kSourcePrefix + source);
        Send(kMethod, kModeNormal);
        SendSerdesBase();
        SendPatternCommands(kMethod, patterns);
        Send(kMethod, kControlBit161);
        Send(kMethod, kControlBit00);
        Send(kMethod, kControlBit01);
        Release();
        return connected;
    });
}

int CSerialTrigger::ReapplyPatternTrigger(const TriggerDefinition& definition,
                                          const std::string& source,
                                          const TriggerPatterns& patterns) {
    constexpr const char* kMethod = "ReapplyPatternTrigger";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const int connected = Connect();
        Send(kMethod, kModeNormal);
        Send(kMethod, kTypeSerial);
        Send(kMethod, kCode8b10b);
        Send(kMethod, kConditionNone);
        Send(kMethod, kControlBit11);
        Send(kMethod, kControlBit00);
        Send(kMethod, kControlBit01);
        Send(kMethod, StandardOrRateCommand(definition));
        Send(kMethod, kSourcePrefix + source);
        SendSerdesBase();
        SendPatternCommands(kMethod, patterns);
        Send(kMethod, kControlBit161);
        Release();
        return connected;
    });
}

int CSerialTrigger::ApplyControlCharacterTrigger(const TriggerDefinition& definition,
                                                 const std::string& source) {
    constexpr const char* kMethod = "ApplyControlCharacterTrigger";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const int connected = Connect();
        Send(kMethod, kModeNormal);
        Send(kMethod, StandardOrRateCommand(definition));
        Send(kMethod, kSourcePrefix + source);
        Release();
        SendErrorTriggerBase(definition);
        ResetPatternToAnyControl();
        return connected;
    });
}

int CSerialTrigger::SendErrorTriggerBase(const TriggerDefinition& definition) {
    constexpr const char* kMethod = "SendErrorTriggerBase";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const int connected = Connect();
        // Without a definition there is no standard to name; the instrument's own default
        // standard is named instead, as the standard-or-rate command does.
        Send(kMethod,
             definition.loaded ? kStandardPrefix + definition.standard : std::string(kNoStandard));
        Send(kMethod, kAnyControlPattern0);
        Send(kMethod, kAcquireRun);
        Send(kMethod, kControlBit10);
        Send(kMethod, kControlBit00);
        Send(kMethod, kControlBit01);
        Release();
        return connected;
    });
}

int CSerialTrigger::ResetPatternToAnyControl() {
    constexpr const char* kMethod = "ResetPatternToAnyControl";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const int connected = Connect();
        Send(kMethod, kAnyControlPattern0);
        Send(kMethod, kAnyControlData);
        Send(kMethod, kAcquireRun);
        Send(kMethod, kControlBit10);
        Send(kMethod, kControlBit00);
        Send(kMethod, kControlBit01);
        Send(kMethod, kConditionNone);
        Release();
        return connected;
    });
}

void CSerialTrigger::SendErrorConditionSteps(const char* method, ErrorKind kind) {
    Send(method, kModeNormal);
    Send(method, kTypeSerial);
    Send(method, kCode8b10b);
    Send(method, kControlBit10);
    Send(method, kControlBit00);
    Send(method, kControlBit01);
    Send(method, ErrorConditionCommand(kind));
}

int CSerialTrigger::ApplyErrorCondition(ErrorKind kind) {
    constexpr const char* kMethod = "ApplyErrorCondition";
    return GuardOr(0, kLogSource, kMethod, [&] {
        errors_.SetOnly(kind);
        const int connected = Connect();
        SendErrorConditionSteps(kMethod, kind);
        Send(kMethod, kAcquireRun);
        Release();
        return connected;
    });
}

int CSerialTrigger::ReapplyErrorCondition() {
    constexpr const char* kMethod = "ReapplyErrorCondition";
    return GuardOr(0, kLogSource, kMethod, [&] {
        const std::optional<ErrorKind> kind = errors_.First();
        if (!kind) return 0;
        const int connected = Connect();
        SendErrorConditionSteps(kMethod, *kind);
        Release();
        return connected;
    });
}

int CSerialTrigger::ToggleErrorKind(const TriggerDefinition& definition, ErrorKind kind) {
    return GuardOr(0, kLogSource, "ToggleErrorKind", [&] {
        if (errors_.IsSet(kind)) {
            errors_.Clear();
            return SendErrorTriggerBase(definition);
        }
        SendErrorTriggerBase(definition);
        return ApplyErrorCondition(kind);
    });
}

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Digits or a point must follow: "inf" and "nan" are no bit rates.
    if (i >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        return 0.0;
    double value = 0.0;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = HUGE_VAL;
    else if (ec != std::errc())
        return 0.0;
    (void)end;
    return negative ? -value : value;
}

double ProbeMaximumBitRate(ITriggerLink& link) {
    return GuardOr(0.0, kLogSource, "ProbeMaximumBitRate", [&] {
        // Replies are taken as the 200-byte buffer of the query would hold them.
        auto ask = [&link](double& value) {
            std::string reply;
            if (link.Write(kBitRateQuery) == 0 || link.Read(reply) == 0) return false;
            if (reply.size() > kCommandLimit) reply.resize(kCommandLimit);
            value = LeadingNumber(reply);
            return true;
        };
        auto request = [&link](double rate) {
            char command[128];
            FormatInto(command, sizeof command, "TRIGger:A:SERIal:BitRate %f", rate);
            link.Write(command);
        };
        double userRate = 0.0, maximum = 0.0;
        if (!ask(userRate)) return 0.0;
        request(1e11);
        ask(maximum);
        // A first reply without a rate is not written back: it would set the rate to 0.
        if (userRate > 0.0) request(userRate);
        return maximum;
    });
}

}  // namespace kestrava

// The simulated instrument's command set as data: one entry per header pattern with its
// query and set handlers. Pattern keywords give the short form in capitals ("HORizontal");
// "#" after a keyword asks for a numeric suffix ("MEAS#"), "*" allows one ("SOUrce*",
// default 1), and "{src}" stands for a source name (CH1-4, REF1-4, MATH1-4).
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestrava-scopesim/ScopeState.h"

namespace kestrava::scopesim {

struct CommandContext {
    ScopeState& state;
    std::vector<std::string> args;
    std::vector<int> numbers;  // keyword suffixes, in header order
    std::vector<int> sources;  // {src} keywords, in header order
    std::string header;        // canonical long header, for replies with HEADER on
    std::string error;         // why the command was refused; empty when accepted
    // Reply control for faults and *OPC?.
    std::optional<size_t> disconnectAfter;  // bytes of this value to send before hanging up
    std::optional<std::chrono::steady_clock::time_point> notBefore;
    bool withhold = false;     // no reply at all
    bool fallsSilent = false;  // no query is answered from this one on

    bool Refuse(std::string why);
    bool NeedArgs(size_t count);
    std::optional<double> Number(size_t i);
    std::optional<long long> Integer(size_t i);
    std::optional<bool> Boolean(size_t i);  // ON, OFF or a number
    std::optional<int> Source(size_t i);
    // The index of the word that argument i names, long or short form or between.
    std::optional<size_t> Choice(size_t i, std::initializer_list<std::string_view> words);
};

// What a long reply keeps free beyond its end, so that the header and line feed the model
// adds need no second copy of it.
inline constexpr size_t kReplyRoom = 64;

struct CommandSpec {
    std::string pattern;
    std::function<std::string(CommandContext&)> query;  // empty: no query form
    std::function<void(CommandContext&)> set;           // empty: no command form
};

using CommandList = std::vector<CommandSpec>;

void AddSystemCommands(CommandList& list);       // common commands, HEADer, BUSY?
void AddAcquisitionCommands(CommandList& list);  // ACQuire, TRIGger FORCe, DISplay
void AddWaveformCommands(CommandList& list);     // SELect, DATa, WFMOutpre, CURVe?, CH<n>
void AddDisplayCommands(CommandList& list);      // HORizontal, MEASUrement, CURSor, ZOOm
void AddTriggerCommands(CommandList& list);      // TRIGger:A

// A setting that is only remembered: the command stores its arguments, the query
// reports them (or the default before any command).
CommandSpec Stored(std::string pattern, std::string defaultValue);

// Reply formats: NR1 integers, NR3 numbers with exponent, quoted strings.
std::string Nr1(long long value);
std::string Nr3(double value);
std::string Quoted(std::string_view text);
std::string Bool(bool value);  // "1" or "0"

}  // namespace kestrava::scopesim

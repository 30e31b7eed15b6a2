// The instrument's reading of program messages: units separated by ';', a header of
// ':'-separated keywords in long or short form (any case), an optional '?', and
// arguments after a blank, a tab or the byte 0xA0, separated by commas.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::scopesim {

struct ProgramUnit {
    std::vector<std::string> path;  // keywords as received, upper-cased; "*IDN" for common ones
    bool query = false;
    bool rooted = false;    // the header began with ':'
    bool common = false;    // "*..." command
    std::string arguments;  // the text after the header, trimmed
    std::string text;       // the unit as received, for messages
};

// Splits a program message (without its terminator) at ';' outside quoted strings.
std::vector<std::string> SplitUnits(std::string_view message);

// Parses one unit; nothing for an empty unit, and `error` set for a malformed one.
std::optional<ProgramUnit> ParseUnit(std::string_view text, std::string& error);

// Splits arguments at ',' outside quoted strings; each trimmed, quotes kept.
std::vector<std::string> SplitArguments(std::string_view arguments);

// Removes the quotes around a string argument ("abc" or 'abc'); other text unchanged.
std::string Unquote(std::string_view argument);

// Header keyword: the received keyword equals the short form (the leading capitals,
// digits and underscores of the pattern) or the long form, ignoring case.
bool KeywordMatches(std::string_view pattern, std::string_view received);

// Argument word: any length from the short form to the long form, ignoring case
// ("SRIBIN" for "SRIbinary"), as the instrument accepts.
bool WordMatches(std::string_view pattern, std::string_view received);

// The long form of a pattern keyword, upper-cased.
std::string LongForm(std::string_view pattern);

std::string Upper(std::string_view text);
bool IsSeparator(char c);  // blank, tab, CR or 0xA0

}  // namespace kestrava::scopesim

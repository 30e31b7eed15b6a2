#include "tools/kestrava-scopesim/ScpiParser.h"

#include "base/Text.h"

namespace kestrava::scopesim {
namespace {

// What IsSeparator answers true for.
constexpr std::string_view kSeparators = " \t\r\xA0";

size_t ShortLength(std::string_view pattern) {
    size_t n = 0;
    while (n < pattern.size() && !(pattern[n] >= 'a' && pattern[n] <= 'z')) ++n;
    return n;
}

// Splits at `separator` outside "..." and '...' strings.
std::vector<std::string> SplitOutsideQuotes(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            parts.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\xA0';
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::vector<std::string> SplitUnits(std::string_view message) {
    return SplitOutsideQuotes(message, ';');
}

std::optional<ProgramUnit> ParseUnit(std::string_view text, std::string& error) {
    error.clear();
    std::string_view unit = Trim(text, kSeparators);
    if (unit.empty()) return std::nullopt;
    ProgramUnit parsed;
    parsed.text = std::string(unit);
    size_t end = 0;
    while (end < unit.size() && !IsSeparator(unit[end])) ++end;
    std::string_view header = unit.substr(0, end);
    parsed.arguments = std::string(Trim(unit.substr(end), kSeparators));
    if (!header.empty() && header.back() == '?') {
        parsed.query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == '*') {
        parsed.common = true;
        parsed.path.push_back(Upper(header));
        if (header.size() < 2) error = "empty common command";
        return error.empty() ? std::optional(parsed) : std::nullopt;
    }
    if (!header.empty() && header.front() == ':') {
        parsed.rooted = true;
        header.remove_prefix(1);
    }
    while (true) {
        size_t colon = header.find(':');
        std::string_view keyword = header.substr(0, colon);
        bool ok = !keyword.empty();
        for (char c : keyword) {
            bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '_';
            ok = ok && plain;
        }
        if (!ok) {
            error = "malformed header";
            return std::nullopt;
        }
        parsed.path.push_back(Upper(keyword));
        if (colon == std::string_view::npos) break;
        header.remove_prefix(colon + 1);
    }
    return parsed;
}

std::vector<std::string> SplitArguments(std::string_view arguments) {
    std::vector<std::string> out;
    if (Trim(arguments, kSeparators).empty()) return out;
    for (const std::string& part : SplitOutsideQuotes(arguments, ','))
        out.emplace_back(Trim(part, kSeparators));
    return out;
}

std::string Unquote(std::string_view argument) {
    if (argument.size() >= 2 && (argument.front() == '"' || argument.front() == '\'') &&
        argument.back() == argument.front())
        return std::string(argument.substr(1, argument.size() - 2));
    return std::string(argument);
}

std::string LongForm(std::string_view pattern) {
    return Upper(pattern);
}

bool KeywordMatches(std::string_view pattern, std::string_view received) {
    std::string upper = Upper(received);
    return upper == Upper(pattern.substr(0, ShortLength(pattern))) || upper == Upper(pattern);
}

bool WordMatches(std::string_view pattern, std::string_view received) {
    size_t shortLength = ShortLength(pattern);
    if (received.size() < shortLength || received.size() > pattern.size() || received.empty())
        return false;
    return Upper(received) == Upper(pattern.substr(0, received.size()));
}

}  // namespace kestrava::scopesim

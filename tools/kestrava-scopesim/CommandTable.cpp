#include "tools/kestrava-scopesim/CommandTable.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/Numbers.h"
#include "tools/kestrava-scopesim/ScpiParser.h"

namespace kestrava::scopesim {

bool CommandContext::Refuse(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
}

bool CommandContext::NeedArgs(size_t count) {
    if (args.size() >= count) return true;
    return Refuse("missing parameter");
}

std::optional<double> CommandContext::Number(size_t i) {
    if (!NeedArgs(i + 1)) return std::nullopt;
    std::string_view text = args[i];
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        Refuse("numeric parameter expected: " + args[i]);
        return std::nullopt;
    }
    return value;
}

std::optional<long long> CommandContext::Integer(size_t i) {
    std::optional<double> value = Number(i);
    if (!value) return std::nullopt;
    if (std::fabs(*value) > 9.0e15) {
        Refuse("parameter out of range: " + args[i]);
        return std::nullopt;
    }
    return std::llround(*value);
}

std::optional<bool> CommandContext::Boolean(size_t i) {
    if (!NeedArgs(i + 1)) return std::nullopt;
    std::string upper = Upper(args[i]);
    if (upper == "ON") return true;
    if (upper == "OFF") return false;
    std::optional<double> value = Number(i);
    if (!value) return std::nullopt;
    return *value != 0;
}

std::optional<int> CommandContext::Source(size_t i) {
    if (!NeedArgs(i + 1)) return std::nullopt;
    std::optional<int> source = SourceFromName(args[i]);
    if (!source) Refuse("not a source: " + args[i]);
    return source;
}

std::optional<size_t> CommandContext::Choice(size_t i,
                                             std::initializer_list<std::string_view> words) {
    if (!NeedArgs(i + 1)) return std::nullopt;
    size_t index = 0;
    for (std::string_view word : words) {
        if (WordMatches(word, args[i])) return index;
        ++index;
    }
    Refuse("illegal parameter: " + args[i]);
    return std::nullopt;
}

CommandSpec Stored(std::string pattern, std::string defaultValue) {
    CommandSpec command;
    command.pattern = std::move(pattern);
    command.query = [defaultValue](CommandContext& c) {
        auto it = c.state.stored.find(c.header);
        return it == c.state.stored.end() ? defaultValue : it->second;
    };
    command.set = [](CommandContext& c) {
        if (!c.NeedArgs(1)) return;
        std::string value;
        for (size_t i = 0; i < c.args.size(); ++i) value += (i ? "," : "") + c.args[i];
        c.state.stored[c.header] = value;
    };
    return command;
}

std::string Nr1(long long value) {
    return std::to_string(value);
}

std::string Nr3(double value) {
    if (!std::isfinite(value)) return "9.91E+37";  // the instrument's "no value"
    char text[64];
    FormatInto(text, sizeof text, "%.9E", value);
    // Drop trailing zeros of the mantissa, keeping one digit after the point.
    std::string out = text;
    size_t e = out.find('E');
    size_t cut = e;
    while (cut > 0 && out[cut - 1] == '0' && out[cut - 2] != '.') --cut;
    return out.substr(0, cut) + out.substr(e);
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string Bool(bool value) {
    return value ? "1" : "0";
}

}  // namespace kestrava::scopesim

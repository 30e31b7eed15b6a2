#include "visacheck/Guid.h"

#include <algorithm>

namespace kestrava {
namespace {

char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::optional<std::string> CanonicalGuid(std::string_view text) {
    // 8-4-4-4-12 hex digits between braces.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    std::string out(text);
    for (std::size_t i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !IsHex(text[i])) return std::nullopt;
        out[i] = UpperChar(text[i]);
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerChar(x) == LowerChar(y);
           });
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [](char x, char y) { return LowerChar(x) == LowerChar(y); });
    return it != text.end();
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerChar(c);
    return out;
}

}  // namespace kestrava

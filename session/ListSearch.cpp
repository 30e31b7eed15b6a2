#include "session/ListSearch.h"

#include <algorithm>
#include <cctype>

namespace kestrava {
namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

int NextMatchingLine(const IListBox& list, int from, bool forward, const LineTest& test) {
    const int count = list.Count();
    if (count == 0) return -1;
    if (from < 0 || from >= count) from = forward ? count - 1 : 0;
    for (int step = 1; step <= count; ++step) {
        const int line = forward ? (from + step) % count : (from - step % count + count) % count;
        if (test(list.Text(line))) return line;
    }
    return -1;
}

LineTest ContainsText(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), Lower);
    return [text = std::move(text)](const std::string& line) {
        if (text.empty()) return false;
        return std::search(line.begin(), line.end(), text.begin(), text.end(),
                           [](char a, char b) { return Lower(a) == b; }) != line.end();
    };
}

}  // namespace kestrava

#include "scopeid/ScopeIdentity.h"

#include <cstring>

namespace kestrava::scopeid {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

std::string_view ModelTokenAt(std::string_view answer, size_t at) {
    if (at >= answer.size()) return {};
    std::string_view rest = answer.substr(at);
    return rest.substr(0, rest.find(','));
}

int32_t ModelNumber(std::string_view token) {
    size_t i = 0;
    while (i < token.size() && !(token[i] >= '0' && token[i] <= '9')) ++i;
    int32_t number = 0;
    for (int digits = 0; i < token.size() && digits < 7 && token[i] >= '0' && token[i] <= '9';
         ++i, ++digits)
        number = number * 10 + (token[i] - '0');
    return number;
}

int32_t ModelCode(std::string_view prefix, int32_t n) {
    if (prefix == "QVM") return n > 9999 ? n % 10000 + 70000 : n;
    if (prefix == "HWZ" || prefix == "JNF") return n < 9999 ? n % 7000 + 70000 : n;
    return n;  // "LKR"
}

void CopyToken(std::string_view token, char* buffer, size_t bufferSize) {
    if (bufferSize == 0) return;
    size_t n = token.size() < bufferSize - 1 ? token.size() : bufferSize - 1;
    std::memcpy(buffer, token.data(), n);
    buffer[n] = '\0';
}

bool ListContains(std::FILE* list, std::string_view modelToken) {
    char token[kMaxListToken + 1];
    size_t length = 0;
    bool overlong = false;
    for (;;) {
        int c = std::fgetc(list);
        if (c == EOF || IsSpace(c)) {
            if (length > 0 && !overlong && EqualIgnoringCase({token, length}, modelToken))
                return true;
            length = 0;
            overlong = false;
            if (c == EOF) return false;
            continue;
        }
        if (length < kMaxListToken)
            token[length++] = static_cast<char>(c);
        else
            overlong = true;
    }
}

}  // namespace kestrava::scopeid

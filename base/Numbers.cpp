#include "base/Numbers.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace kestrava {
namespace {

locale_t CLocale() {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// Switches this thread to the "C" locale for as long as it lives.
class InCLocale {
  public:
    InCLocale() : previous_(::uselocale(CLocale())) {}
    ~InCLocale() { ::uselocale(previous_); }
    InCLocale(const InCLocale&) = delete;
    InCLocale& operator=(const InCLocale&) = delete;

  private:
    locale_t previous_;
};

}  // namespace

int FormatInto(char* buffer, std::size_t size, const char* format, ...) {
    InCLocale c;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    return written;
}

std::string FormatText(const char* format, ...) {
    InCLocale c;
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

double ReadDouble(const char* text, char** end) {
    return ::strtod_l(text, end, CLocale());
}

}  // namespace kestrava

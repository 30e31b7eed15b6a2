// Numbers as text and back, the same in every locale. Instrument commands and replies,
// setup files, definitions and list lines are read by programs, so a comma-decimal
// desktop (which the window's toolkit puts into the C library) must not change them.
#pragma once

#include <cstddef>
#include <string>

namespace kestrava {

// snprintf in the "C" locale.
int FormatInto(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same, as a string of any length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// strtod in the "C" locale: leading blanks, a sign, digits with a point, an exponent.
double ReadDouble(const char* text, char** end = nullptr);

}  // namespace kestrava

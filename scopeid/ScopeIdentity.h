// The pure part of Tamsel: reading the model out of an identity answer, the family code
// rules and the list-file comparison. No VISA, no state.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace kestrava::scopeid {

// The instrument maker's oscilloscope family prefixes, in the order they are searched.
inline constexpr std::array<std::string_view, 4> kFamilyPrefixes = {"QVM", "LKR", "HWZ", "JNF"};

// The model token that starts at `at` in the answer: up to, not including, the next
// comma, or to the end of the answer.
std::string_view ModelTokenAt(std::string_view answer, size_t at);

// The first run of decimal digits in the token, at most 7 of them, as a number; 0 when
// the token holds no digit.
int32_t ModelNumber(std::string_view token);

// The model code of a model number under a family prefix.
int32_t ModelCode(std::string_view prefix, int32_t modelNumber);

// Copies the token into buffer from its start, cut to fit with its terminating NUL.
void CopyToken(std::string_view token, char* buffer, size_t bufferSize);

// Reads whitespace-separated tokens and tells whether one has the model token's length
// and equals it ignoring letter case. Tokens longer than kMaxListToken characters cannot
// be held and never match; an empty model token matches nothing.
inline constexpr size_t kMaxListToken = 99;
bool ListContains(std::FILE* list, std::string_view modelToken);

}  // namespace kestrava::scopeid

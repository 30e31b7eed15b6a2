// Writing an attribute's value where viGetAttribute's caller asked: a scalar of the
// attribute's own type, or text cut to VI_FIND_BUFLEN bytes with its NUL.
#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

#include "visa/visa.h"

namespace kestrava::visa {

template <class T>
ViStatus PutAttribute(T scalar, void* value) {
    std::memcpy(value, &scalar, sizeof scalar);
    return VI_SUCCESS;
}

inline ViStatus PutAttributeText(std::string_view text, void* value) {
    auto* out = static_cast<ViChar*>(value);
    size_t n = std::min<size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return VI_SUCCESS;
}

}  // namespace kestrava::visa

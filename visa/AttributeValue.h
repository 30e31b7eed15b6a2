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

// The attributes every TCPIP resource answers alike: interface type and number, host;
// VI_ERROR_NSUP_ATTR for any other, which the transport may answer itself.
inline ViStatus PutTcpipAttribute(unsigned board, std::string_view host, ViAttr attribute,
                                  void* value) {
    switch (attribute) {
        case VI_ATTR_INTF_TYPE:
            return PutAttribute<ViUInt16>(VI_INTF_TCPIP, value);
        case VI_ATTR_INTF_NUM:
            return PutAttribute<ViUInt16>(static_cast<ViUInt16>(board), value);
        case VI_ATTR_TCPIP_ADDR:
        case VI_ATTR_TCPIP_HOSTNAME:
            return PutAttributeText(host, value);
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

}  // namespace kestrava::visa

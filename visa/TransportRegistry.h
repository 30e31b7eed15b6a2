// The transports this library opens, each reached through one resource-name form. viOpen,
// the aliases and kvResolveResource ask here what a name is and how to open it.
//
// A transport is a Transport class T with
//     T::Parse(std::string_view name) -> std::optional<Address>   (nothing: not this form)
//     T::Format(const Address&) -> std::string                    (the canonical text)
//     T::Open(const Address&, uint32_t timeoutMs, OpenedTransport&) -> ViStatus
// and one line in the list in TransportRegistry.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "visa/Transport.h"
#include "visa/visa.h"

namespace kestrava::visa {

// The canonical text of name when a transport takes its form, nothing otherwise.
std::optional<std::string> CanonicalResource(std::string_view name);

// Opens name with the transport that takes its form; the open timeout means what that
// transport makes of it. VI_ERROR_INV_RSRC_NAME when no transport takes the name.
ViStatus OpenResource(std::string_view name, uint32_t timeoutMs, OpenedTransport& opened);

}  // namespace kestrava::visa

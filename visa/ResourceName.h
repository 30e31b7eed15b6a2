// Parsing of VISA resource strings. Only the raw-socket form is opened by this library;
// the other forms are recognised so that they are reported as absent, not as malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::visa {

struct SocketAddress {
    unsigned board = 0;
    std::string host;  // as written, without brackets around an IPv6 address
    uint16_t port = 0;
};

// "TCPIP[board]::host::port::SOCKET", keywords in any case; an IPv6 host in brackets.
std::optional<SocketAddress> ParseSocketResource(std::string_view name);

// The canonical text "TCPIP<board>::<host>::<port>::SOCKET".
std::string FormatSocketResource(const SocketAddress& address);

// True when name starts with the interface keyword of a VISA resource (GPIB, TCPIP,
// USB, ASRL, VXI, GPIB-VXI, PXI) and has at least one "::" field after it.
bool HasResourceSyntax(std::string_view name);

// True when name ends with "::INSTR" (any case): a message-based instrument.
bool IsInstrResource(std::string_view name);

// Upper-cases ASCII letters; resource names compare without regard to case.
std::string UpperAscii(std::string_view text);

}  // namespace kestrava::visa

// Parsing of VISA resource strings. The LAN forms (raw socket, VXI-11, HiSLIP) are opened
// by this library; the other forms are recognised so that they are reported as absent,
// not as malformed.
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

// A LAN instrument: "TCPIP[board]::host[::device]::INSTR". The device is the VXI-11
// device name ("inst0" when left out, "gpib0,5"...) or a HiSLIP sub-address "hislipN",
// optionally followed by ",port" for a HiSLIP server off the usual port.
struct LanInstrAddress {
    unsigned board = 0;
    std::string host;    // as written, without brackets around an IPv6 address
    std::string device;  // as written, e.g. "inst0" or "hislip0"
    uint16_t port = 0;   // HiSLIP only: the port given after the sub-address, else 4880
};

inline constexpr uint16_t kHislipPort = 4880;

// The VXI-11 form: a device that is not a HiSLIP sub-address.
std::optional<LanInstrAddress> ParseVxi11Resource(std::string_view name);
// The HiSLIP form: "TCPIP[board]::host::hislipN[,port]::INSTR".
std::optional<LanInstrAddress> ParseHislipResource(std::string_view name);
// "TCPIP<board>::<host>::<device>[,<port>]::INSTR", the port only when not 4880.
std::string FormatLanInstrResource(const LanInstrAddress& address);

// True when name starts with the interface keyword of a VISA resource (GPIB, TCPIP,
// USB, ASRL, VXI, GPIB-VXI, PXI) and has at least one "::" field after it.
bool HasResourceSyntax(std::string_view name);

// True when name ends with "::INSTR" (any case): a message-based instrument.
bool IsInstrResource(std::string_view name);

// Upper-cases ASCII letters; resource names compare without regard to case.
std::string UpperAscii(std::string_view text);

}  // namespace kestrava::visa

#include "visa/ResourceName.h"

#include <charconv>
#include <vector>

namespace kestrava::visa {
namespace {

std::vector<std::string_view> SplitFields(std::string_view name) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    // A bracketed IPv6 host contains "::" itself; skip over brackets while splitting.
    size_t i = 0;
    while (i <= name.size()) {
        if (i < name.size() && name[i] == '[') {
            size_t close = name.find(']', i);
            i = close == std::string_view::npos ? name.size() : close + 1;
            continue;
        }
        if (i == name.size() || name.substr(i, 2) == "::") {
            fields.push_back(name.substr(start, i - start));
            if (i == name.size()) break;
            i += 2;
            start = i;
            continue;
        }
        ++i;
    }
    return fields;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return UpperAscii(a) == UpperAscii(b);
}

bool AllDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ValidHost(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    for (char c : host) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == '_' || c == ':' || c == '%';
        if (!ok) return false;
    }
    return true;
}

// "TCPIP[board]" in any case; the board number goes to board.
bool ParseInterface(std::string_view intf, unsigned& board) {
    if (intf.size() < 5 || !EqualsNoCase(intf.substr(0, 5), "TCPIP")) return false;
    std::string_view digits = intf.substr(5);
    board = 0;
    if (digits.empty()) return true;
    if (digits.size() > 3 || !AllDigits(digits)) return false;
    std::from_chars(digits.data(), digits.data() + digits.size(), board);
    return true;
}

std::optional<std::string> ParseHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!ValidHost(host)) return std::nullopt;
    return std::string(host);
}

std::optional<uint16_t> ParsePort(std::string_view port) {
    unsigned value = 0;
    if (port.empty() || port.size() > 5 || !AllDigits(port)) return std::nullopt;
    std::from_chars(port.data(), port.data() + port.size(), value);
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

// A device name as VXI-11 servers take them: letters, digits, ',' and '_', a letter first.
bool ValidDevice(std::string_view device) {
    if (device.empty() || device.size() > 64) return false;
    if (!((device[0] >= 'a' && device[0] <= 'z') || (device[0] >= 'A' && device[0] <= 'Z')))
        return false;
    for (char c : device) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == ',' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool IsHislipDevice(std::string_view device) {
    return device.size() > 6 && EqualsNoCase(device.substr(0, 6), "HISLIP");
}

std::optional<LanInstrAddress> ParseLanInstr(std::string_view name) {
    std::vector<std::string_view> fields = SplitFields(name);
    if (fields.size() != 3 && fields.size() != 4) return std::nullopt;
    if (!EqualsNoCase(fields.back(), "INSTR")) return std::nullopt;
    LanInstrAddress address;
    if (!ParseInterface(fields[0], address.board)) return std::nullopt;
    auto host = ParseHost(fields[1]);
    if (!host) return std::nullopt;
    address.host = *host;
    address.device = fields.size() == 4 ? std::string(fields[2]) : std::string("inst0");
    if (!ValidDevice(address.device)) return std::nullopt;
    return address;
}

}  // namespace

std::optional<LanInstrAddress> ParseVxi11Resource(std::string_view name) {
    auto address = ParseLanInstr(name);
    if (!address || IsHislipDevice(address->device)) return std::nullopt;
    return address;
}

std::optional<LanInstrAddress> ParseHislipResource(std::string_view name) {
    auto address = ParseLanInstr(name);
    if (!address || !IsHislipDevice(address->device)) return std::nullopt;
    std::string_view device = address->device;
    size_t comma = device.find(',');
    std::string_view number =
        device.substr(6, comma == std::string_view::npos ? device.npos : comma - 6);
    if (number.empty() || number.size() > 3 || !AllDigits(number)) return std::nullopt;
    address->port = kHislipPort;
    if (comma != std::string_view::npos) {
        auto port = ParsePort(device.substr(comma + 1));
        if (!port) return std::nullopt;
        address->port = *port;
    }
    address->device = "hislip" + std::string(number);
    return address;
}

std::string FormatLanInstrResource(const LanInstrAddress& address) {
    bool v6 = address.host.find(':') != std::string::npos;
    std::string host = v6 ? "[" + address.host + "]" : address.host;
    std::string device = address.device;
    if (address.port != 0 && address.port != kHislipPort)
        device += "," + std::to_string(address.port);
    return "TCPIP" + std::to_string(address.board) + "::" + host + "::" + device + "::INSTR";
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<SocketAddress> ParseSocketResource(std::string_view name) {
    std::vector<std::string_view> fields = SplitFields(name);
    if (fields.size() != 4 || !EqualsNoCase(fields[3], "SOCKET")) return std::nullopt;
    SocketAddress address;
    if (!ParseInterface(fields[0], address.board)) return std::nullopt;
    auto host = ParseHost(fields[1]);
    auto port = ParsePort(fields[2]);
    if (!host || !port) return std::nullopt;
    address.host = *host;
    address.port = *port;
    return address;
}

std::string FormatSocketResource(const SocketAddress& address) {
    bool v6 = address.host.find(':') != std::string::npos;
    std::string host = v6 ? "[" + address.host + "]" : address.host;
    return "TCPIP" + std::to_string(address.board) + "::" + host +
           "::" + std::to_string(address.port) + "::SOCKET";
}

bool HasResourceSyntax(std::string_view name) {
    static constexpr std::string_view kInterfaces[] = {"GPIB-VXI", "GPIB", "TCPIP", "USB",
                                                       "ASRL",     "VXI",  "PXI"};
    std::string upper = UpperAscii(name);
    for (std::string_view intf : kInterfaces) {
        if (upper.compare(0, intf.size(), intf) != 0) continue;
        size_t sep = upper.find("::", intf.size());
        if (sep == std::string::npos) return false;
        return AllDigits(std::string_view(upper).substr(intf.size(), sep - intf.size())) &&
               sep + 2 < upper.size();
    }
    return false;
}

bool IsInstrResource(std::string_view name) {
    return name.size() > 7 && EqualsNoCase(name.substr(name.size() - 7), "::INSTR");
}

}  // namespace kestrava::visa

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

}  // namespace

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<SocketAddress> ParseSocketResource(std::string_view name) {
    std::vector<std::string_view> fields = SplitFields(name);
    if (fields.size() != 4 || !EqualsNoCase(fields[3], "SOCKET")) return std::nullopt;
    std::string_view intf = fields[0];
    if (intf.size() < 5 || !EqualsNoCase(intf.substr(0, 5), "TCPIP")) return std::nullopt;
    SocketAddress address;
    std::string_view board = intf.substr(5);
    if (!board.empty()) {
        if (board.size() > 3 || !AllDigits(board)) return std::nullopt;
        std::from_chars(board.data(), board.data() + board.size(), address.board);
    }
    std::string_view host = fields[1];
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!ValidHost(host)) return std::nullopt;
    address.host = std::string(host);
    std::string_view port = fields[2];
    unsigned value = 0;
    if (port.empty() || port.size() > 5 || !AllDigits(port)) return std::nullopt;
    std::from_chars(port.data(), port.data() + port.size(), value);
    if (value == 0 || value > 65535) return std::nullopt;
    address.port = static_cast<uint16_t>(value);
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

#include "visa/Aliases.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "base/RegularFile.h"
#include "base/Text.h"
#include "visa/ResourceName.h"
#include "visa/TransportRegistry.h"

namespace kestrava::visa {
namespace {

std::mutex gMutex;
std::map<std::string, std::string> gProcessAliases;  // upper-case name -> address
std::string gLastReported;

// A carriage return of a CRLF line end is trimmed after a field, never before one.
constexpr std::string_view kTrailingBlanks = " \t\r";

bool ValidAliasName(std::string_view name) {
    if (name.empty() || name.size() > kMaxAliasNameBytes) return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || c == '=' || c == '#') return false;
    }
    return true;
}

std::string Where(std::string_view origin, size_t line) {
    return std::string(origin) + ":" + std::to_string(line) + ": ";
}

// The canonical text of a LAN instrument's name (raw socket, VXI-11, HiSLIP): what the
// file may name, loopback peers being for the tests' in-process aliases only.
std::optional<std::string> LanResource(std::string_view address) {
    if (auto socket = ParseSocketResource(address)) return FormatSocketResource(*socket);
    if (auto vxi11 = ParseVxi11Resource(address)) return FormatLanInstrResource(*vxi11);
    if (auto hislip = ParseHislipResource(address)) return FormatLanInstrResource(*hislip);
    return std::nullopt;
}

void ParseLine(std::string_view line, std::string_view origin, size_t number, AliasConfig& config,
               std::map<std::string, size_t>& seen) {
    std::string_view text = Trim(line, kSpaceTab, kTrailingBlanks);
    if (text.empty() || text.front() == '#') return;
    if (line.size() > kMaxConfigLineBytes) {
        config.errors.push_back(Where(origin, number) + "line longer than " +
                                std::to_string(kMaxConfigLineBytes) + " bytes, ignored");
        return;
    }
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        config.errors.push_back(Where(origin, number) + "expected \"NAME = ADDRESS\"");
        return;
    }
    std::string_view name = Trim(text.substr(0, eq), kSpaceTab, kTrailingBlanks);
    std::string_view address = Trim(text.substr(eq + 1), kSpaceTab, kTrailingBlanks);
    if (!ValidAliasName(name)) {
        config.errors.push_back(Where(origin, number) + "invalid alias name \"" +
                                std::string(name) + "\"");
        return;
    }
    std::optional<std::string> lan = LanResource(address);
    if (!lan) {
        config.errors.push_back(Where(origin, number) + "\"" + std::string(address) +
                                "\" is not a TCPIPn::host::port::SOCKET, TCPIPn::host::INSTR or "
                                "TCPIPn::host::hislip0::INSTR address");
        return;
    }
    std::string key = UpperAscii(name);
    if (auto it = seen.find(key); it != seen.end()) {
        config.errors.push_back(Where(origin, number) + "\"" + std::string(name) +
                                "\" is already defined on line " + std::to_string(it->second));
        return;
    }
    if (config.aliases.size() >= kMaxAliases) {
        config.errors.push_back(Where(origin, number) + "more than " + std::to_string(kMaxAliases) +
                                " aliases, ignored");
        return;
    }
    seen.emplace(key, number);
    config.aliases.emplace_back(std::string(name), *lan);
}

void ReportOnce(const AliasConfig& config) {
    std::string text;
    for (const std::string& error : config.errors) text += "kestrava-visa: " + error + "\n";
    std::lock_guard lock(gMutex);
    if (text == gLastReported) return;
    gLastReported = text;
    if (!text.empty()) std::fputs(Printable(text).c_str(), stderr);
}

}  // namespace

AliasConfig ParseAliasConfig(std::string_view text, std::string_view origin) {
    AliasConfig config;
    if (text.size() > kMaxConfigBytes) {
        config.errors.push_back(std::string(origin) + ": larger than " +
                                std::to_string(kMaxConfigBytes) + " bytes, not read");
        return config;
    }
    if (text.find('\0') != std::string_view::npos) {
        config.errors.push_back(std::string(origin) + ": holds a NUL byte, not a text file");
        return config;
    }
    std::map<std::string, size_t> seen;
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        ParseLine(line, origin, number, config, seen);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return config;
}

std::string AliasConfigPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/kestrava/visa.conf";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/kestrava/visa.conf";
}

AliasConfig LoadAliasConfig(const std::string& path) {
    AliasConfig config;
    RegularFile file(path);
    if (!file.IsOpen()) {
        if (file.Error() == 0)
            config.errors.push_back(path + ": not a regular file, not read");
        else if (file.Error() != ENOENT && file.Error() != ENOTDIR)
            config.errors.push_back(path + ": cannot be read (" + file.Reason() + ")");
        return config;
    }
    const int fd = file.Fd();
    // One byte more than the bound tells an oversized file from one that fits exactly.
    std::string text(kMaxConfigBytes + 1, '\0');
    size_t have = 0;
    while (have < text.size()) {
        ssize_t got = ::read(fd, text.data() + have, text.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<size_t>(got);
    }
    text.resize(have);
    return ParseAliasConfig(text, path);
}

bool SetProcessAlias(std::string_view name, std::string_view address) {
    std::optional<std::string> resource = CanonicalResource(address);
    if (!ValidAliasName(name) || !resource) return false;
    std::lock_guard lock(gMutex);
    gProcessAliases[UpperAscii(name)] = *resource;
    return true;
}

void RemoveProcessAlias(std::string_view name) {
    std::lock_guard lock(gMutex);
    gProcessAliases.erase(UpperAscii(name));
}

void ClearProcessAliases() {
    std::lock_guard lock(gMutex);
    gProcessAliases.clear();
}

std::optional<std::string> ResolveAlias(std::string_view name) {
    std::string key = UpperAscii(name);
    {
        std::lock_guard lock(gMutex);
        if (auto it = gProcessAliases.find(key); it != gProcessAliases.end()) return it->second;
    }
    AliasConfig config = LoadAliasConfig(AliasConfigPath());
    ReportOnce(config);
    for (const auto& [alias, address] : config.aliases)
        if (UpperAscii(alias) == key) return address;
    if (key == kDefaultAliasName) return std::string(kDefaultAliasAddress);
    return std::nullopt;
}

}  // namespace kestrava::visa

// Resource aliases: names such as "GPIB8::1::INSTR" that stand for a raw-socket address
// (or, set in-process, for any resource this library opens, such as a loopback peer).
// The configuration file is read at every lookup, so an edit takes effect at the next
// viOpen; it is bounded, and malformed lines are refused one by one with their reason.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava::visa {

inline constexpr std::string_view kDefaultAliasName = "GPIB8::1::INSTR";
inline constexpr std::string_view kDefaultAliasAddress = "TCPIP0::localhost::4000::SOCKET";
inline constexpr size_t kMaxConfigBytes = 64 * 1024;
inline constexpr size_t kMaxConfigLineBytes = 1024;
inline constexpr size_t kMaxAliases = 256;
inline constexpr size_t kMaxAliasNameBytes = 255;

struct AliasConfig {
    // Accepted aliases in file order: name as written, canonical socket address.
    std::vector<std::pair<std::string, std::string>> aliases;
    // One message per refused line or per refusal of the whole file, "<origin>:<line>: why".
    std::vector<std::string> errors;
};

// Parses configuration text. Lines: "NAME = ADDRESS"; blank lines and lines whose first
// non-blank character is '#' are ignored. ADDRESS must be a TCPIP SOCKET resource.
AliasConfig ParseAliasConfig(std::string_view text, std::string_view origin);

// $XDG_CONFIG_HOME/kestrava/visa.conf, or ~/.config/kestrava/visa.conf.
std::string AliasConfigPath();

// Reads and parses the file; a missing file gives an empty configuration without error.
AliasConfig LoadAliasConfig(const std::string& path);

// In-process aliases, which take precedence over the file. The address may be any resource
// a transport opens; the file's stay raw sockets, as a loopback peer lives in one process.
bool SetProcessAlias(std::string_view name, std::string_view address);
void RemoveProcessAlias(std::string_view name);
void ClearProcessAliases();

// The canonical address that name stands for, or nothing when it is no alias. Messages
// about a malformed configuration file go to standard error once per distinct text.
std::optional<std::string> ResolveAlias(std::string_view name);

}  // namespace kestrava::visa

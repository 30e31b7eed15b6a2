// GUIDs in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

// The GUID written in upper case, or nullopt when text is not exactly one GUID in
// registry form (braces included).
std::optional<std::string> CanonicalGuid(std::string_view text);

// ASCII comparison without regard to case, as the registry compares names.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view text, std::string_view part);
std::string LowerAscii(std::string_view text);

}  // namespace kestrava

// The registry as Carrowin sees it: two roots, keys named by backslash paths compared
// without regard to case, and string or DWORD values (the default value has the name "").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

enum class RegistryRoot { kClassesRoot, kLocalMachine };

enum class RegValueType { kString, kExpandString, kDword, kOther };

struct RegValue {
    RegValueType type = RegValueType::kString;
    std::string text;         // kString, kExpandString
    std::uint32_t dword = 0;  // kDword

    static RegValue String(std::string text) { return {RegValueType::kString, std::move(text), 0}; }
    static RegValue Dword(std::uint32_t value) { return {RegValueType::kDword, {}, value}; }
};

class IRegistry {
  public:
    virtual ~IRegistry() = default;

    // A path with an empty component ("A\\B", "\\A", "A\\") names no key.
    virtual bool KeyExists(RegistryRoot root, std::string_view path) const = 0;
    // nullopt when the key or the value is missing.
    virtual std::optional<RegValue> ReadValue(RegistryRoot root, std::string_view path,
                                              std::string_view name) const = 0;

    // Creates the key and its missing parents.
    virtual bool CreateKey(RegistryRoot root, std::string_view path) = 0;
    // Sets a value, creating the key when missing.
    virtual bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                          const RegValue& value) = 0;
    // Removes the key with every sub-key; a missing key is no failure.
    virtual bool DeleteTree(RegistryRoot root, std::string_view path) = 0;
    // Makes the writes lasting; true when there was nothing to do.
    virtual bool Flush() = 0;
};

// How a string read ended, with the registry's own three outcomes kept apart.
enum class RegReadStatus { kOk, kKeyMissing, kValueMissing };

struct RegString {
    RegReadStatus status = RegReadStatus::kKeyMissing;
    std::string text;
    RegValueType type = RegValueType::kString;
};

// A string (plain or expandable) value; a value of another type counts as missing.
RegString ReadRegString(const IRegistry& registry, RegistryRoot root, std::string_view path,
                        std::string_view name);
// A DWORD value; nullopt when the key or the value is missing or not a DWORD.
std::optional<std::uint32_t> ReadRegDword(const IRegistry& registry, RegistryRoot root,
                                          std::string_view path, std::string_view name);

// Splits a key path at backslashes; nullopt when a component is empty.
std::optional<std::string> NormalizedKeyPath(std::string_view path);

}  // namespace kestrava

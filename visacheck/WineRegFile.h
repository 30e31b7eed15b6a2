// One registry file of a Wine prefix (system.reg for the machine, user.reg for the user):
// "[key\\path] time" lines open keys, "name"=data lines hold values. Keys stay in file
// order with the raw text of their lines, so writing back changes only what was set.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "visacheck/Registry.h"

namespace kestrava {

// Larger files are refused; a busy prefix's system.reg is a few tens of megabytes.
inline constexpr std::uintmax_t kWineRegFileMaxBytes = 256u * 1024u * 1024u;

class WineRegFile {
  public:
    enum class LoadStatus { kLoaded, kMissing, kRefused };

    // An empty registry file with the header Wine writes.
    WineRegFile();

    LoadStatus Load(const std::string& path);
    // Parses the text of a registry file; false (object left empty) when it is not one.
    bool Parse(std::string_view text);

    // Paths are relative to the file's root and use single backslashes.
    bool KeyExists(std::string_view path) const;
    std::optional<RegValue> ReadValue(std::string_view path, std::string_view name) const;

    bool CreateKey(std::string_view path);
    bool SetValue(std::string_view path, std::string_view name, const RegValue& value);
    void DeleteTree(std::string_view path);

    std::string Text() const;
    bool Save(const std::string& path) const;
    bool Dirty() const { return dirty_; }
    std::size_t KeyCount() const { return blocks_.size(); }

    // The escaping of a name or string in the file (backslash, the given quote characters,
    // control and non-ASCII characters as \xNNNN UTF-16 units); and its reverse.
    static std::string Escape(std::string_view text, std::string_view quotes);
    static std::string Unescape(std::string_view text);

  private:
    struct Block {
        std::string path;   // as written, single backslashes
        std::string lower;  // lookup form
        std::string header;
        std::vector<std::string> lines;  // values and options, continuations joined by '\n'
    };
    const Block* Find(std::string_view path) const;
    Block& Append(const std::string& path);
    void Reindex();

    std::vector<std::string> preamble_;
    std::vector<Block> blocks_;
    // Ordered, so the keys below a path lie together after it: a key above a written one
    // is found without storing every prefix of every path (quadratic in a deep path).
    std::map<std::string, std::size_t, std::less<>> index_;
    bool dirty_ = false;
};

}  // namespace kestrava

// Profile ("ini") text files: sections in square brackets, key=value lines. The file is
// read and written one key at a time, as setup files and OEM information files expect,
// and every line a write does not concern is kept as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

// A value read is cut to this many characters (the classic 256-byte buffer).
inline constexpr std::size_t kProfileValueMax = 255;
// Larger files are refused: a profile is a few kilobytes, anything else is not one.
inline constexpr std::uintmax_t kProfileFileMaxBytes = 4u * 1024u * 1024u;

// The lines of one profile file, looked up by section and key without regard to case.
class ProfileFile {
  public:
    enum class LoadStatus { kLoaded, kMissing, kRefused };

    ProfileFile() = default;
    // Splits text at LF or CRLF; a UTF-8 byte-order mark is kept for writing back.
    explicit ProfileFile(std::string_view text);

    // Reads path; a missing file loads as an empty profile. Too large or unreadable files
    // are refused and leave the object empty.
    LoadStatus Load(const std::string& path);

    // The value of key in section, blanks around it removed; nullopt when either is
    // missing. The first section and the first key of that name count.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets key in section: replaces the key's line, or adds it after the section's last
    // entry, or adds the section at the end. False, with nothing changed, when a name or
    // the value could not be written back and read again as the same thing.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The whole profile with CRLF line ends.
    std::string Text() const;

    // Writes Text() through ReplaceFileContents.
    bool Save(const std::string& path) const;

    std::size_t LineCount() const { return lines_.size(); }

  private:
    struct Span {
        std::size_t header = 0;  // line of "[section]"
        std::size_t end = 0;     // one past the section's last line
    };
    std::optional<Span> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(const Span& span, std::string_view key) const;

    std::vector<std::string> lines_;
    bool byteOrderMark_ = false;
};

// Reads one value: at most kProfileValueMax characters; fallback (cut alike) when the
// file, the section or the key is missing or the file is refused.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback);

// Writes one value, creating the file, the section or the key when missing and keeping
// every other line; the file is replaced atomically and written with CRLF line ends.
// False when the folder is missing, the file is refused or cannot be replaced, or a
// name or the value holds a line break (which would corrupt the file).
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Replaces the contents of path by text through a temporary file in the same folder and
// a rename, keeping the old file's permissions; a symbolic link is written through.
// A crash leaves either the old or the new contents, never a mix.
bool ReplaceFileContents(const std::string& path, std::string_view text);

}  // namespace kestrava

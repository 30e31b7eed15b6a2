// Writing a whole file that a person named (a report, a plot, a command's output) so that
// it is always either the earlier file or the whole new one: the text goes to a private
// temporary beside the target, which is renamed over it. The target keeps what it was (its
// mode, its owner, the symbolic link that named it); what a rename would quietly undo, a
// read-only file or one with other hard links, is refused and left as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

class FileReplacement {
  public:
    // Temporaries of writes that were killed are cleared once this old.
    static constexpr int kStaleMinutes = 15;

    // A file as it was when it was read: a merge replaces it only while it still is.
    struct Identity {
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modifiedNs = 0;
        bool operator==(const Identity&) const = default;
    };

    // Written, or refused (the target is as it was, for the reason given, as a person reads
    // it), or failed (the file system's error; the target is as it was).
    struct Outcome {
        bool written = false;
        std::string refusal;
        int error = 0;
    };

    // Replaces the file that path names (through any symbolic links) with text; creates it
    // when there is none. A device or FIFO is written straight through. With `unchanged`,
    // the target must still be that file (and be a regular one).
    static Outcome Write(const std::string& path, std::string_view text,
                         const Identity* unchanged = nullptr);

    // The identity of an open file; false when it cannot be had.
    static bool IdentityOf(int fd, Identity& identity);
    // True when both paths name one existing file (the same inode).
    static bool SameFile(const std::string& a, const std::string& b);
};

}  // namespace kestrava

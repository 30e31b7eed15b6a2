// Where Carrowin finds the Windows system directory and the files Windows paths name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

class ISystemDirectory {
  public:
    virtual ~ISystemDirectory() = default;
    // The system directory in Windows form (e.g. "C:\windows\system32"); nullopt when
    // there is none.
    virtual std::optional<std::string> Path() const = 0;
    // The file on this machine that a Windows path ("C:\...") or an absolute host path
    // names; nullopt when it names none that could exist (no such drive, relative path).
    virtual std::optional<std::filesystem::path> HostPath(std::string_view path) const = 0;
};

}  // namespace kestrava

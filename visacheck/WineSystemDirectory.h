// The system directory and drives of a Wine prefix: "C:" is drive_c (or whatever
// dosdevices/c: points to), other letters follow dosdevices, and path components are
// matched without regard to case, as Wine does.
#pragma once

#include "visacheck/SystemDirectory.h"

namespace kestrava {

class WineSystemDirectory : public ISystemDirectory {
  public:
    explicit WineSystemDirectory(std::filesystem::path prefix);

    std::optional<std::string> Path() const override;
    std::optional<std::filesystem::path> HostPath(std::string_view path) const override;

    // The Windows form of a host path: "C:\..." inside drive_c, else "Z:\..." (Wine's
    // drive for the whole host file system).
    std::string WindowsPath(const std::filesystem::path& hostPath) const;

  private:
    std::filesystem::path prefix_;
};

}  // namespace kestrava

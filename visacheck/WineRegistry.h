// The registry of a Wine prefix: HKEY_LOCAL_MACHINE is system.reg; HKEY_CLASSES_ROOT is
// the merged view of the user's and the machine's Software\Classes, the user's entries
// first, as Windows merges them. Writes go to the machine's file and last after Flush.
// Wine keeps the registry in memory while the prefix runs: write only when it is shut
// down (wineserver -k), or Wine will overwrite the file on exit.
#pragma once

#include <filesystem>
#include <string>

#include "visacheck/Registry.h"
#include "visacheck/WineRegFile.h"

namespace kestrava {

class WineRegistry : public IRegistry {
  public:
    explicit WineRegistry(const std::filesystem::path& prefix);

    // False when the prefix has no readable system.reg (every key is then missing and
    // writes fail).
    bool MachineLoaded() const { return machineStatus_ == WineRegFile::LoadStatus::kLoaded; }
    WineRegFile::LoadStatus MachineStatus() const { return machineStatus_; }

    bool KeyExists(RegistryRoot root, std::string_view path) const override;
    std::optional<RegValue> ReadValue(RegistryRoot root, std::string_view path,
                                      std::string_view name) const override;
    bool CreateKey(RegistryRoot root, std::string_view path) override;
    bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                  const RegValue& value) override;
    bool DeleteTree(RegistryRoot root, std::string_view path) override;
    bool Flush() override;

  private:
    std::string machinePath_;
    WineRegFile machine_;
    WineRegFile user_;
    WineRegFile::LoadStatus machineStatus_ = WineRegFile::LoadStatus::kMissing;
};

}  // namespace kestrava

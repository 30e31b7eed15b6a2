// What the checks run over: a registry, a system directory and a reader of file version
// information. On Linux they come from a Wine prefix; tests put in their own.
#pragma once

#include <filesystem>
#include <memory>

#include "visacheck/FileVersion.h"
#include "visacheck/Registry.h"
#include "visacheck/SystemDirectory.h"

namespace kestrava {

class CarrowinEnvironment {
  public:
    CarrowinEnvironment(std::shared_ptr<IRegistry> registry,
                        std::shared_ptr<ISystemDirectory> systemDirectory,
                        std::shared_ptr<IFileVersionReader> versionReader);

    IRegistry& Registry() const { return *registry_; }
    const ISystemDirectory& SystemDirectory() const { return *systemDirectory_; }
    const IFileVersionReader& VersionReader() const { return *versionReader_; }

    // The prefix named by WINEPREFIX, else ~/.wine.
    static std::filesystem::path DefaultWinePrefix();
    // The registry, system directory and PE files of a Wine prefix, read now.
    static std::shared_ptr<CarrowinEnvironment> ForWinePrefix(const std::filesystem::path& prefix);

  private:
    std::shared_ptr<IRegistry> registry_;
    std::shared_ptr<ISystemDirectory> systemDirectory_;
    std::shared_ptr<IFileVersionReader> versionReader_;
};

}  // namespace kestrava

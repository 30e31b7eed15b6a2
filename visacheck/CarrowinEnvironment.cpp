#include "visacheck/CarrowinEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "visacheck/PeVersionReader.h"
#include "visacheck/WineRegistry.h"
#include "visacheck/WineSystemDirectory.h"

namespace kestrava {

CarrowinEnvironment::CarrowinEnvironment(std::shared_ptr<IRegistry> registry,
                                         std::shared_ptr<ISystemDirectory> systemDirectory,
                                         std::shared_ptr<IFileVersionReader> versionReader)
    : registry_(std::move(registry)),
      systemDirectory_(std::move(systemDirectory)),
      versionReader_(std::move(versionReader)) {}

std::filesystem::path CarrowinEnvironment::DefaultWinePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix) return prefix;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".wine";
}

std::shared_ptr<CarrowinEnvironment> CarrowinEnvironment::ForWinePrefix(
    const std::filesystem::path& prefix) {
    return std::make_shared<CarrowinEnvironment>(std::make_shared<WineRegistry>(prefix),
                                                 std::make_shared<WineSystemDirectory>(prefix),
                                                 std::make_shared<PeVersionReader>());
}

}  // namespace kestrava

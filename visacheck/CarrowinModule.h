// Module-wide state of the component: the count of live objects (whether the library
// may be unloaded) and where an object's checks look when it is given no environment.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "visacheck/CarrowinEnvironment.h"

namespace kestrava {

// Held by every live object; copies count as objects of their own.
class ModuleReference {
  public:
    ModuleReference();
    ModuleReference(const ModuleReference&);
    ModuleReference& operator=(const ModuleReference&) = default;
    ~ModuleReference();

    static long LiveObjects();
};

// Where an object's checks run: a fixed environment, or a Wine prefix read afresh at
// every call (the registry may change between two calls, and nothing is kept between them).
class EnvironmentSource {
  public:
    // The prefix of WINEPREFIX or ~/.wine, looked up at each call.
    EnvironmentSource() = default;
    explicit EnvironmentSource(std::filesystem::path winePrefix) : prefix_(std::move(winePrefix)) {}
    explicit EnvironmentSource(std::shared_ptr<CarrowinEnvironment> fixed)
        : fixed_(std::move(fixed)) {}

    std::shared_ptr<CarrowinEnvironment> Get() const;

  private:
    std::shared_ptr<CarrowinEnvironment> fixed_;
    std::optional<std::filesystem::path> prefix_;
};

}  // namespace kestrava

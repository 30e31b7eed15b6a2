#include "visacheck/CarrowinModule.h"

#include <atomic>

namespace kestrava {
namespace {

std::atomic<long> liveObjects{0};

}  // namespace

ModuleReference::ModuleReference() {
    liveObjects.fetch_add(1);
}
ModuleReference::ModuleReference(const ModuleReference&) {
    liveObjects.fetch_add(1);
}
ModuleReference::~ModuleReference() {
    liveObjects.fetch_sub(1);
}
long ModuleReference::LiveObjects() {
    return liveObjects.load();
}

std::shared_ptr<CarrowinEnvironment> EnvironmentSource::Get() const {
    if (fixed_) return fixed_;
    return CarrowinEnvironment::ForWinePrefix(prefix_ ? *prefix_
                                                      : CarrowinEnvironment::DefaultWinePrefix());
}

}  // namespace kestrava

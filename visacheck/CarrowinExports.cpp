// The plain exports of libcarrowin.so. Nothing may leave them as an exception: each one
// contains failures and answers with its "not found" value.
#include "visacheck/carrowin.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "base/Guard.h"
#include "visacheck/CarrowinEnvironment.h"
#include "visacheck/CarrowinModule.h"
#include "visacheck/PlatformDetection.h"
#include "visacheck/ServerRegistration.h"
#include "visacheck/Visa32Identification.h"
#include "visacheck/WineRegistry.h"
#include "visacheck/WineSystemDirectory.h"

namespace {

using kestrava::CarrowinEnvironment;

std::filesystem::path OwnFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 || !info.dli_fname)
        return {};
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
    return ec ? std::filesystem::path(info.dli_fname) : path;
}

}  // namespace

extern "C" int32_t GetUlmarVisaPlatformID(void) {
    return kestrava::GuardOr<int32_t>(0, "Carrowin", "GetUlmarVisaPlatformID", [] {
        return kestrava::IdentifyPlatform(
            *CarrowinEnvironment::ForWinePrefix(CarrowinEnvironment::DefaultWinePrefix()));
    });
}

extern "C" int32_t GetVGpibProtocolID(void) {
    return kestrava::VGpibProtocolFor(GetUlmarVisaPlatformID());
}

extern "C" int32_t IdentifyVisa32Dll(int32_t* major, int32_t* minor, int32_t* revision,
                                     char* vendorName) {
    if (major) *major = 0;
    if (minor) *minor = 0;
    if (revision) *revision = 0;
    if (vendorName) vendorName[0] = '\0';
    return kestrava::GuardOr<int32_t>(-1, "Carrowin", "IdentifyVisa32Dll", [&] {
        kestrava::Visa32Identity id = kestrava::IdentifyVisa32(
            *CarrowinEnvironment::ForWinePrefix(CarrowinEnvironment::DefaultWinePrefix()));
        if (major) *major = id.major;
        if (minor) *minor = id.minor;
        if (revision) *revision = id.revision;
        if (vendorName) {
            // The name is at most kVendorNameMax bytes, so it fits 255 with its zero.
            std::memcpy(vendorName, id.vendor.data(), id.vendor.size());
            vendorName[id.vendor.size()] = '\0';
        }
        return id.status;
    });
}

extern "C" int32_t DllRegisterServer(void) {
    return kestrava::GuardOr<int32_t>(
        kestrava::SELFREG_E_CLASS, "Carrowin", "DllRegisterServer", [] {
            const std::filesystem::path prefix = CarrowinEnvironment::DefaultWinePrefix();
            kestrava::WineRegistry registry(prefix);
            const std::filesystem::path module = OwnFile();
            if (!registry.MachineLoaded() || module.empty()) return kestrava::SELFREG_E_CLASS;
            return kestrava::RegisterCarrowin(
                registry, kestrava::WineSystemDirectory(prefix).WindowsPath(module));
        });
}

extern "C" int32_t DllUnregisterServer(void) {
    return kestrava::GuardOr<int32_t>(
        kestrava::SELFREG_E_CLASS, "Carrowin", "DllUnregisterServer", [] {
            kestrava::WineRegistry registry(CarrowinEnvironment::DefaultWinePrefix());
            if (!registry.MachineLoaded()) return kestrava::SELFREG_E_CLASS;
            return kestrava::UnregisterCarrowin(registry);
        });
}

extern "C" int32_t DllCanUnloadNow(void) {
    return kestrava::ModuleReference::LiveObjects() == 0 ? kestrava::S_OK : kestrava::S_FALSE;
}

#include "visacheck/ServerRegistration.h"

#include <string>

namespace kestrava {
namespace {

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;

std::string Join(std::string_view a, std::string_view b) {
    return std::string(a) + "\\" + std::string(b);
}

bool SetString(IRegistry& reg, const std::string& key, std::string_view name,
               std::string_view text) {
    return reg.SetValue(kRoot, key, name, RegValue::String(std::string(text)));
}

bool RegisterClass(IRegistry& reg, const CoClassInfo& c, std::string_view modulePath) {
    const std::string clsidKey = Join("CLSID", c.clsid);
    bool ok = SetString(reg, std::string(c.progId), "", c.description) &&
              SetString(reg, Join(c.progId, "CLSID"), "", c.clsid) &&
              SetString(reg, std::string(c.versionIndependentProgId), "", c.description) &&
              SetString(reg, Join(c.versionIndependentProgId, "CLSID"), "", c.clsid) &&
              SetString(reg, Join(c.versionIndependentProgId, "CurVer"), "", c.progId);
    // The class key is written anew, so no entry of an older registration survives.
    ok = ok && reg.DeleteTree(kRoot, clsidKey) && SetString(reg, clsidKey, "", c.description) &&
         SetString(reg, Join(clsidKey, "ProgID"), "", c.progId) &&
         SetString(reg, Join(clsidKey, "VersionIndependentProgID"), "",
                   c.versionIndependentProgId) &&
         reg.CreateKey(kRoot, Join(clsidKey, "Programmable")) &&
         SetString(reg, Join(clsidKey, "InprocServer32"), "", modulePath) &&
         SetString(reg, Join(clsidKey, "InprocServer32"), "ThreadingModel", c.threadingModel) &&
         SetString(reg, Join(clsidKey, "TypeLib"), "", kLibId);
    return ok;
}

bool RegisterTypeLibrary(IRegistry& reg, std::string_view modulePath) {
    const std::string lib = Join(Join("TypeLib", kLibId), kLibVersion);
    const std::string platform = sizeof(void*) == 8 ? "win64" : "win32";
    const std::size_t slash = modulePath.rfind('\\');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : modulePath.substr(0, slash);
    bool ok = SetString(reg, lib, "", kLibHelpString) &&
              SetString(reg, Join(lib, "FLAGS"), "", "0") &&
              SetString(reg, Join(Join(lib, "0"), platform), "", modulePath) &&
              SetString(reg, Join(lib, "HELPDIR"), "", folder);
    for (const CoClassInfo& c : kCarrowinClasses) {
        const std::string key = Join("Interface", c.iid);
        ok = ok && SetString(reg, key, "", c.interfaceName) &&
             SetString(reg, Join(key, "ProxyStubClsid"), "", kAutomationMarshallerClsid) &&
             SetString(reg, Join(key, "ProxyStubClsid32"), "", kAutomationMarshallerClsid) &&
             SetString(reg, Join(key, "TypeLib"), "", kLibId) &&
             SetString(reg, Join(key, "TypeLib"), "Version", kLibVersion);
    }
    return ok;
}

}  // namespace

HRESULT RegisterCarrowin(IRegistry& registry, std::string_view modulePath) {
    for (const CoClassInfo& c : kCarrowinClasses)
        if (!RegisterClass(registry, c, modulePath)) return SELFREG_E_CLASS;
    if (!RegisterTypeLibrary(registry, modulePath)) return SELFREG_E_TYPELIB;
    return registry.Flush() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterCarrowin(IRegistry& registry) {
    bool ok = true;
    for (const CoClassInfo& c : kCarrowinClasses) {
        ok = registry.DeleteTree(kRoot, c.progId) && ok;
        ok = registry.DeleteTree(kRoot, c.versionIndependentProgId) && ok;
        ok = registry.DeleteTree(kRoot, Join("CLSID", c.clsid)) && ok;
    }
    if (!ok) return SELFREG_E_CLASS;
    bool lib = registry.DeleteTree(kRoot, Join("TypeLib", kLibId));
    for (const CoClassInfo& c : kCarrowinClasses)
        lib = registry.DeleteTree(kRoot, Join("Interface", c.iid)) && lib;
    if (!lib) return SELFREG_E_TYPELIB;
    return registry.Flush() ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kestrava

// carrowin: reports, for a Wine prefix, the platform the instrument software runs on, the
// installed visa32.dll and the registration of the Carrowin classes.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "visacheck/CarrowinEnvironment.h"
#include "visacheck/CarrowinTypes.h"
#include "visacheck/DetectVisaPlatform.h"
#include "visacheck/PlatformDetection.h"
#include "visacheck/ServerRegistration.h"
#include "visacheck/VisaInstallChk.h"
#include "visacheck/WineRegistry.h"
#include "visacheck/WineSystemDirectory.h"

namespace fs = std::filesystem;
using namespace kestrava;

namespace {

constexpr const char* kUsage =
    "Usage: carrowin [--prefix DIR] [--register | --unregister]\n"
    "Reports, for a Wine prefix, on which platform the instrument software runs, which\n"
    "visa32.dll is installed and whether the Carrowin classes are registered.\n"
    "\n"
    "  --prefix DIR   the Wine prefix (default: $WINEPREFIX, else ~/.wine)\n"
    "  --register     first register libcarrowin.so's classes and type library there\n"
    "  --unregister   first remove them\n"
    "  --help         show this text\n"
    "\n"
    "Registration rewrites the prefix's system.reg: shut the prefix down first\n"
    "(wineserver -k), or Wine overwrites the change when it exits.\n";

std::string Status(std::int32_t code) {
    return std::to_string(code) + " " + std::string(CarrowinResultHelp(code));
}

std::string Visa32Meaning(std::int32_t status) {
    switch (status) {
        case 0:
            return "not found";
        case -1:
            return "version information unreadable";
        case 1:
            return "no version or vendor known";
        case 10:
            return "older than 2.5.0";
        case 11:
            return "version 2.5.0";
        case 12:
            return "newer than 2.5.0";
        case 20:
            return "older than 1.10.0";
        case 21:
            return "version 1.10.0";
        case 22:
            return "newer than 1.10.0";
        default:
            return "";
    }
}

fs::path LibraryBesideProgram() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (exe.parent_path() / ".." / "lib" / "libcarrowin.so").lexically_normal();
}

int Register(const fs::path& prefix, bool remove) {
    WineRegistry registry(prefix);
    if (!registry.MachineLoaded()) {
        std::fprintf(stderr, "carrowin: %s has no readable system.reg\n", prefix.c_str());
        return 1;
    }
    HRESULT hr;
    if (remove) {
        hr = UnregisterCarrowin(registry);
    } else {
        const fs::path library = LibraryBesideProgram();
        std::error_code ec;
        if (library.empty() || !fs::exists(library, ec)) {
            std::fprintf(stderr, "carrowin: libcarrowin.so not found at %s\n", library.c_str());
            return 1;
        }
        hr = RegisterCarrowin(registry, WineSystemDirectory(prefix).WindowsPath(library));
    }
    if (hr != S_OK) {
        std::fprintf(stderr, "carrowin: %s failed (0x%08X)\n",
                     remove ? "unregistration" : "registration", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("%s\n", remove ? "Unregistered." : "Registered.");
    return 0;
}

void Report(const fs::path& prefix) {
    auto env = CarrowinEnvironment::ForWinePrefix(prefix);
    DetectVisaPlatform detect{EnvironmentSource(env)};
    VisaInstallChk check{EnvironmentSource(env)};

    std::printf("Wine prefix: %s\n", prefix.c_str());
    // Without the machine's registry every answer below is what an empty one gives.
    if (const auto* wine = dynamic_cast<const WineRegistry*>(&env->Registry());
        wine && !wine->MachineLoaded())
        std::printf("system.reg: not read (%s); the answers below are those of an empty registry\n",
                    wine->MachineStatus() == WineRegFile::LoadStatus::kMissing
                        ? "no such file"
                        : "not a Wine registry file, too large, or unreadable");
    const UlmarVisaPlatformID platform = IdentifyPlatform(*env);
    std::string text;
    detect.GetPlatformDescription(platform, &text);
    std::printf("Platform: %d %s\n", platform, text.c_str());
    const OemPlatform oem = PlatformViaOemInfo(*env);
    detect.GetPlatformDescription(oem.platform, &text);
    std::printf("  OEMINFO.INI: %d %s (status %s)\n", oem.platform, text.c_str(),
                Status(oem.status).c_str());
    UlmarVisaPlatformID viaRegistry{};
    detect.PlatformViaRegistry(&viaRegistry);
    detect.GetPlatformDescription(viaRegistry, &text);
    std::printf("  Registry: %d %s\n", viaRegistry, text.c_str());
    std::printf("Virtual GPIB protocol: %d\n", VGpibProtocolFor(platform));

    CarrowinResult status{};
    std::string path;
    check.GetVisa32DllPath(&path, &status);
    std::printf("visa32.dll: %s\n",
                status == VisaValStat_NoError ? path.c_str() : Status(status).c_str());
    std::int16_t major = 0, minor = 0, revision = 0;
    std::string vendor;
    std::int32_t visa = 0;
    detect.IdentifyCurrentVisa32Dll(&major, &minor, &revision, &vendor, &visa);
    std::printf("  Identification: %d %s", visa, Visa32Meaning(visa).c_str());
    if (visa > 0)
        std::printf(", version %hu.%hu.%hu, vendor \"%s\"", static_cast<std::uint16_t>(major),
                    static_cast<std::uint16_t>(minor), static_cast<std::uint16_t>(revision),
                    vendor.c_str());
    std::printf("\n");
    if (status == VisaValStat_NoError) {
        std::string fileVersion, productVersion;
        CarrowinResult fileStatus{}, productStatus{};
        check.GetFileVersionAsString(path, &fileVersion, &fileStatus);
        check.GetProductVersionAsString(path, &productVersion, &productStatus);
        if (fileStatus == VisaValStat_NoError)
            std::printf("  File version %s, product version %s\n", fileVersion.c_str(),
                        productVersion.c_str());
        else
            std::printf("  File version: %s\n", Status(fileStatus).c_str());
    }
    check.GetOncRpcDllPath(&path, &status);
    std::printf("oncrpc.dll: %s\n",
                status == VisaValStat_NoError ? path.c_str() : Status(status).c_str());
    check.GetUlmarVisaDirectory(&path, &status);
    std::printf("UlmarVisa directory: %s\n",
                status == VisaValStat_NoError ? path.c_str() : Status(status).c_str());

    for (const CoClassInfo& c : kCarrowinClasses) {
        check.ValidateComRegistration(std::string(c.clsid), std::string(c.progId), 0, &status);
        std::printf("%s: %s\n", std::string(c.progId).c_str(), Status(status).c_str());
        check.GetCOMServerPath(std::string(c.clsid), 0, &path, &status);
        if (!path.empty()) std::printf("  Server: %s\n", path.c_str());
        check.GetProxyStubPath(std::string(c.iid), &path, &status);
        std::printf("  %s proxy/stub: %s\n", std::string(c.interfaceName).c_str(),
                    Status(status).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    fs::path prefix = CarrowinEnvironment::DefaultWinePrefix();
    enum { kNone, kRegister, kUnregister } action = kNone;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--prefix" && i + 1 < argc) {
            prefix = argv[++i];
        } else if (arg == "--register" && action == kNone) {
            action = kRegister;
        } else if (arg == "--unregister" && action == kNone) {
            action = kUnregister;
        } else {
            std::fprintf(stderr, "carrowin: unexpected argument \"%s\"\n%s", argv[i], kUsage);
            return 2;
        }
    }
    std::error_code ec;
    if (!fs::is_directory(prefix, ec)) {
        std::fprintf(stderr, "carrowin: no Wine prefix at %s\n", prefix.c_str());
        return 1;
    }
    if (action != kNone) {
        int rc = Register(prefix, action == kUnregister);
        if (rc != 0) return rc;
    }
    Report(prefix);
    return 0;
}

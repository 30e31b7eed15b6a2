#include "visacheck/InstallChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "visacheck/Guid.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr std::string_view kUlmarVisaKey = "SOFTWARE\\Brennock\\UlmarVisa\\2.0";
constexpr std::string_view kPassportKeys =
    "Software\\National Instruments\\NI-VISA for Windows 95/NT\\CurrentVersion\\IoLibraries\\";

bool IsFileAt(const CarrowinEnvironment& env, std::string_view path) {
    std::optional<fs::path> host = env.SystemDirectory().HostPath(path);
    std::error_code ec;
    return host && fs::exists(*host, ec) && !fs::is_directory(*host, ec);
}

// Replaces %SystemRoot%, %windir% and %SystemDrive% the way the system would expand them;
// other variables stay as written (and the file is then not found).
std::string Expand(const CarrowinEnvironment& env, std::string text) {
    std::optional<std::string> system = env.SystemDirectory().Path();
    if (!system) return text;
    const std::string root = system->substr(0, system->rfind('\\'));
    const std::string drive = system->substr(0, 2);
    for (std::size_t pos = 0;;) {
        const std::size_t at = text.find('%', pos);
        const std::size_t close = at == std::string::npos ? at : text.find('%', at + 1);
        if (close == std::string::npos) break;
        const std::string_view name = std::string_view(text).substr(at + 1, close - at - 1);
        std::string value;
        if (EqualsNoCase(name, "SystemRoot") || EqualsNoCase(name, "windir")) {
            value = root;
        } else if (EqualsNoCase(name, "SystemDrive")) {
            value = drive;
        } else {
            pos = close + 1;
            continue;
        }
        text.replace(at, close - at + 1, value);
        pos = at + value.size();
    }
    return text;
}

// Whether the server file a registry value names exists: a quoted path is taken without
// its quotes and arguments, and a bare file name is looked for where the loader would
// find a system DLL.
bool ServerFileExists(const CarrowinEnvironment& env, const std::string& value) {
    std::string path = value;
    if (!path.empty() && path.front() == '"') {
        std::size_t close = path.find('"', 1);
        path = path.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    path = Expand(env, path);
    if (path.find_first_of("\\/:") == std::string::npos) {
        std::optional<std::string> system = env.SystemDirectory().Path();
        if (!system || path.empty()) return false;
        path = *system + "\\" + path;
    }
    return IsFileAt(env, path);
}

}  // namespace

CarrowinResult CheckComRegistration(const CarrowinEnvironment& env, std::string_view classId,
                                    std::string_view progId, std::int32_t outOfProcess) {
    if (classId.empty() || progId.empty()) return VisaValStat_ParameterError;
    const IRegistry& reg = env.Registry();

    // A class ID may also be given as a ProgID, which the registry then translates.
    std::optional<std::string> clsid = CanonicalGuid(classId);
    if (!clsid) {
        if (classId.front() == '{') return VisaValStat_ParameterError;
        RegString viaProgId =
            ReadRegString(reg, RegistryRoot::kClassesRoot, std::string(classId) + "\\CLSID", "");
        if (viaProgId.status != RegReadStatus::kOk) return VisaValStat_ComponentNotRegistered;
        clsid = CanonicalGuid(viaProgId.text);
        if (!clsid) return VisaValStat_ComponentNotRegistered;
    }

    RegString registeredProgId =
        ReadRegString(reg, RegistryRoot::kClassesRoot, "CLSID\\" + *clsid + "\\ProgID", "");
    if (registeredProgId.status != RegReadStatus::kOk) return VisaValStat_ComponentNotRegistered;
    if (!EqualsNoCase(registeredProgId.text, progId)) return VisaValStat_CompIDDisagreement;

    RegString registeredClsid =
        ReadRegString(reg, RegistryRoot::kClassesRoot, std::string(progId) + "\\CLSID", "");
    if (registeredClsid.status != RegReadStatus::kOk) return VisaValStat_ComponentNotRegistered;
    std::optional<std::string> fromProgId = CanonicalGuid(registeredClsid.text);
    if (!fromProgId) return VisaValStat_ComponentNotRegistered;
    if (*fromProgId != *clsid) return VisaValStat_ProgID2GUIDfail;

    return CheckComServerPath(env, *clsid, outOfProcess).status;
}

PathCheck CheckComServerPath(const CarrowinEnvironment& env, std::string_view classId,
                             std::int32_t outOfProcess) {
    const IRegistry& reg = env.Registry();
    const std::string key = "CLSID\\" + std::string(classId);
    if (!reg.KeyExists(RegistryRoot::kClassesRoot, key))
        return {VisaValStat_ComponentNotRegistered, {}};
    const bool outOfProc = (static_cast<std::uint32_t>(outOfProcess) & 0xFFFFu) != 0;
    const std::string server = key + (outOfProc ? "\\LocalServer32" : "\\InProcServer32");
    if (!reg.KeyExists(RegistryRoot::kClassesRoot, server))
        return {outOfProc ? VisaValStat_NotOutOfProcServer : VisaValStat_NotInProcServer, {}};
    RegString path = ReadRegString(reg, RegistryRoot::kClassesRoot, server, "");
    if (path.status != RegReadStatus::kOk || path.text.size() > kMaxServerPathChars)
        return {VisaValStat_NoServerPath, {}};
    CarrowinResult status =
        ServerFileExists(env, path.text) ? VisaValStat_NoError : VisaValStat_ServerPathInvalid;
    return {status, path.text};
}

PathCheck CheckProxyStubPath(const CarrowinEnvironment& env, std::string_view interfaceId) {
    const IRegistry& reg = env.Registry();
    const std::string key = "Interface\\" + std::string(interfaceId);
    if (!reg.KeyExists(RegistryRoot::kClassesRoot, key))
        return {VisaValStat_InterfaceNotRegistered, {}};
    RegString proxyStub =
        ReadRegString(reg, RegistryRoot::kClassesRoot, key + "\\ProxyStubClsid32", "");
    if (proxyStub.status != RegReadStatus::kOk) return {VisaValStat_IID2PSIDfail, {}};
    PathCheck server = CheckComServerPath(env, proxyStub.text, 0);
    if (EqualsNoCase(proxyStub.text, kAutomationMarshallerClsid))
        return {VisaValStat_NotCustomMarshaling, server.path};
    return server;
}

double AutomationDate(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    const sys_days epoch{std::chrono::year{1899} / December / 30};
    const double days = static_cast<double>((date - epoch).count());
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before the epoch the whole days count down while the time of day still counts up.
    return days >= 0 ? days + fraction : days - fraction;
}

DateCheck CheckFileDateTime(const CarrowinEnvironment& env, std::string_view filePath) {
    if (filePath.empty()) return {VisaValStat_ParameterError, 0.0};
    std::optional<fs::path> host = env.SystemDirectory().HostPath(filePath);
    std::error_code ec;
    if (!host || !fs::exists(*host, ec)) return {VisaValStat_InvalidFilePath, 0.0};
    int fd = ::open(host->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {VisaValStat_Win32Error, 0.0};
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    ::close(fd);
    // A folder exists but is no file to open for reading.
    if (!stated || S_ISDIR(st.st_mode)) return {VisaValStat_Win32Error, 0.0};
    std::tm local{};
    const std::time_t written = st.st_mtime;
    if (!::localtime_r(&written, &local)) return {VisaValStat_Win32Error, 0.0};
    return {VisaValStat_NoError,
            AutomationDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec)};
}

PathCheck CheckUlmarVisaDirectory(const CarrowinEnvironment& env) {
    RegString dir =
        ReadRegString(env.Registry(), RegistryRoot::kLocalMachine, kUlmarVisaKey, "InstallPath");
    switch (dir.status) {
        case RegReadStatus::kKeyMissing:
            return {VisaValStat_RegKeyMissing, {}};
        case RegReadStatus::kValueMissing:
            return {VisaValStat_RegValueMissing, {}};
        case RegReadStatus::kOk:
            break;
    }
    return {VisaValStat_NoError, dir.text};
}

PathCheck CheckSystemFile(const CarrowinEnvironment& env, std::string_view fileName) {
    std::optional<std::string> system = env.SystemDirectory().Path();
    if (!system) return {VisaValStat_Win32Error, {}};
    std::string path = *system + "\\" + std::string(fileName);
    if (!IsFileAt(env, path)) return {VisaValStat_InvalidFilePath, {}};
    return {VisaValStat_NoError, path};
}

PathCheck CheckPassportPath(const CarrowinEnvironment& env, std::string_view passportKey) {
    // An empty key would name the libraries' parent key, which is no passport.
    if (passportKey.empty()) return {VisaValStat_ParameterError, {}};
    RegString library =
        ReadRegString(env.Registry(), RegistryRoot::kLocalMachine,
                      std::string(kPassportKeys) + std::string(passportKey), "LibraryPath");
    switch (library.status) {
        case RegReadStatus::kKeyMissing:
            return {VisaValStat_RegKeyMissing, {}};
        case RegReadStatus::kValueMissing:
            return {VisaValStat_RegValueMissing, {}};
        case RegReadStatus::kOk:
            break;
    }
    CarrowinResult status =
        IsFileAt(env, library.text) ? VisaValStat_NoError : VisaValStat_InvalidFilePath;
    return {status, library.text};
}

VersionCheck CheckFileVersion(const CarrowinEnvironment& env, std::string_view filePath) {
    std::optional<fs::path> host = env.SystemDirectory().HostPath(filePath);
    FileVersionInfo info;
    if (host) info = env.VersionReader().Read(*host);  // else: not found, the default
    if (info.lastError == kErrorFileNotFound) return {VisaValStat_InvalidFilePath, {}, {}};
    // A resource without valid fixed information has no version to give.
    if (!info.HasResource() || !info.fixed) return {VisaValStat_VerResourceMissing, {}, {}};
    return {VisaValStat_NoError, info.fixed->fileVersion, info.fixed->productVersion};
}

std::string VersionText(const VersionParts& parts) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%hu.%hu.%hu.%hu", parts[0], parts[1], parts[2], parts[3]);
    return buf;
}

}  // namespace kestrava

#include "visacheck/VisaInstallChk.h"

#include "base/Guard.h"
#include "visacheck/InstallChecks.h"

namespace kestrava {
namespace {

// Runs one check; an exception inside is logged and reported as a system failure.
template <class Fn>
HRESULT Run(const char* method, CarrowinResult* retStat, Fn&& fn) noexcept {
    *retStat = GuardOr(VisaValStat_Win32Error, "VisaInstallChk", method, std::forward<Fn>(fn));
    return S_OK;
}

void SetParts(const VersionParts& parts, std::int16_t* major, std::int16_t* minor,
              std::int16_t* revision, std::int16_t* build) {
    *major = static_cast<std::int16_t>(parts[0]);
    *minor = static_cast<std::int16_t>(parts[1]);
    *revision = static_cast<std::int16_t>(parts[2]);
    *build = static_cast<std::int16_t>(parts[3]);
}

}  // namespace

HRESULT VisaInstallChk::ValidateComRegistration(const std::string& classId,
                                                const std::string& progId,
                                                std::int32_t outOfProcess,
                                                CarrowinResult* retStat) noexcept {
    if (!retStat) return E_POINTER;
    return Run("ValidateComRegistration", retStat,
               [&] { return CheckComRegistration(*source_.Get(), classId, progId, outOfProcess); });
}

HRESULT VisaInstallChk::GetCOMServerPath(const std::string& classId, std::int32_t outOfProcess,
                                         std::string* serverPath,
                                         CarrowinResult* retStat) noexcept {
    if (!serverPath || !retStat) return E_POINTER;
    return Run("GetCOMServerPath", retStat, [&] {
        serverPath->clear();
        PathCheck check = CheckComServerPath(*source_.Get(), classId, outOfProcess);
        *serverPath = std::move(check.path);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetProxyStubPath(const std::string& interfaceId, std::string* proxyStubPath,
                                         CarrowinResult* retStat) noexcept {
    if (!proxyStubPath || !retStat) return E_POINTER;
    return Run("GetProxyStubPath", retStat, [&] {
        proxyStubPath->clear();
        PathCheck check = CheckProxyStubPath(*source_.Get(), interfaceId);
        *proxyStubPath = std::move(check.path);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetFileDateTime(const std::string& filePath, double* fileDate,
                                        CarrowinResult* retStat) noexcept {
    if (!fileDate || !retStat) return E_POINTER;
    return Run("GetFileDateTime", retStat, [&] {
        *fileDate = 0.0;
        DateCheck check = CheckFileDateTime(*source_.Get(), filePath);
        *fileDate = check.date;
        return check.status;
    });
}

HRESULT VisaInstallChk::GetUlmarVisaDirectory(std::string* directoryPath,
                                              CarrowinResult* retStat) noexcept {
    if (!directoryPath || !retStat) return E_POINTER;
    return Run("GetUlmarVisaDirectory", retStat, [&] {
        directoryPath->clear();
        PathCheck check = CheckUlmarVisaDirectory(*source_.Get());
        *directoryPath = std::move(check.path);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetVisa32DllPath(std::string* filePath, CarrowinResult* retStat) noexcept {
    if (!filePath || !retStat) return E_POINTER;
    return Run("GetVisa32DllPath", retStat, [&] {
        filePath->clear();
        PathCheck check = CheckSystemFile(*source_.Get(), "visa32.dll");
        *filePath = std::move(check.path);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetFileVersion(const std::string& filePath, std::int16_t* major,
                                       std::int16_t* minor, std::int16_t* revision,
                                       std::int16_t* build, CarrowinResult* retStat) noexcept {
    if (!major || !minor || !revision || !build || !retStat) return E_POINTER;
    *major = *minor = *revision = *build = 0;
    return Run("GetFileVersion", retStat, [&] {
        VersionCheck check = CheckFileVersion(*source_.Get(), filePath);
        SetParts(check.file, major, minor, revision, build);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetFileVersionAsString(const std::string& filePath,
                                               std::string* fileVersion,
                                               CarrowinResult* retStat) noexcept {
    if (!fileVersion || !retStat) return E_POINTER;
    return Run("GetFileVersionAsString", retStat, [&] {
        fileVersion->clear();
        VersionCheck check = CheckFileVersion(*source_.Get(), filePath);
        *fileVersion = VersionText(check.file);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetProductVersion(const std::string& filePath, std::int16_t* major,
                                          std::int16_t* minor, std::int16_t* revision,
                                          std::int16_t* build, CarrowinResult* retStat) noexcept {
    if (!major || !minor || !revision || !build || !retStat) return E_POINTER;
    *major = *minor = *revision = *build = 0;
    return Run("GetProductVersion", retStat, [&] {
        VersionCheck check = CheckFileVersion(*source_.Get(), filePath);
        SetParts(check.product, major, minor, revision, build);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetProductVersionAsString(const std::string& filePath,
                                                  std::string* productVersion,
                                                  CarrowinResult* retStat) noexcept {
    if (!productVersion || !retStat) return E_POINTER;
    return Run("GetProductVersionAsString", retStat, [&] {
        productVersion->clear();
        VersionCheck check = CheckFileVersion(*source_.Get(), filePath);
        *productVersion = VersionText(check.product);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetOncRpcDllPath(std::string* filePath, CarrowinResult* retStat) noexcept {
    if (!filePath || !retStat) return E_POINTER;
    return Run("GetOncRpcDllPath", retStat, [&] {
        filePath->clear();
        PathCheck check = CheckSystemFile(*source_.Get(), "oncrpc.dll");
        *filePath = std::move(check.path);
        return check.status;
    });
}

HRESULT VisaInstallChk::GetRegisteredPassportPath(const std::string& passportKey,
                                                  std::string* filePath,
                                                  CarrowinResult* retStat) noexcept {
    if (!filePath || !retStat) return E_POINTER;
    return Run("GetRegisteredPassportPath", retStat, [&] {
        filePath->clear();
        PathCheck check = CheckPassportPath(*source_.Get(), passportKey);
        *filePath = std::move(check.path);
        return check.status;
    });
}

}  // namespace kestrava

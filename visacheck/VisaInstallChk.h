// The installation checker class: COM registration, server and proxy/stub paths, file
// dates and versions, and where the VISA files are. Methods keep their COM order and
// out-parameters: E_POINTER when an out-parameter is null (nothing is done), else S_OK
// with the outcome in the last out-parameter. Strings stand for BSTRs. Stateless between
// calls and safe to use from several threads.
#pragma once

#include <cstdint>
#include <string>

#include "visacheck/CarrowinModule.h"
#include "visacheck/CarrowinTypes.h"

namespace kestrava {

class VisaInstallChk {
  public:
    // Checks the Wine prefix of WINEPREFIX (or ~/.wine), read at every call.
    VisaInstallChk() = default;
    explicit VisaInstallChk(EnvironmentSource source) : source_(std::move(source)) {}

    // outOfProcess: a VARIANT_BOOL or BOOL; only its low 16 bits count.
    HRESULT ValidateComRegistration(const std::string& classId, const std::string& progId,
                                    std::int32_t outOfProcess, CarrowinResult* retStat) noexcept;
    HRESULT GetCOMServerPath(const std::string& classId, std::int32_t outOfProcess,
                             std::string* serverPath, CarrowinResult* retStat) noexcept;
    HRESULT GetProxyStubPath(const std::string& interfaceId, std::string* proxyStubPath,
                             CarrowinResult* retStat) noexcept;
    HRESULT GetFileDateTime(const std::string& filePath, double* fileDate,
                            CarrowinResult* retStat) noexcept;
    HRESULT GetUlmarVisaDirectory(std::string* directoryPath, CarrowinResult* retStat) noexcept;
    HRESULT GetVisa32DllPath(std::string* filePath, CarrowinResult* retStat) noexcept;
    HRESULT GetFileVersion(const std::string& filePath, std::int16_t* major, std::int16_t* minor,
                           std::int16_t* revision, std::int16_t* build,
                           CarrowinResult* retStat) noexcept;
    HRESULT GetFileVersionAsString(const std::string& filePath, std::string* fileVersion,
                                   CarrowinResult* retStat) noexcept;
    HRESULT GetProductVersion(const std::string& filePath, std::int16_t* major, std::int16_t* minor,
                              std::int16_t* revision, std::int16_t* build,
                              CarrowinResult* retStat) noexcept;
    HRESULT GetProductVersionAsString(const std::string& filePath, std::string* productVersion,
                                      CarrowinResult* retStat) noexcept;
    HRESULT GetOncRpcDllPath(std::string* filePath, CarrowinResult* retStat) noexcept;
    HRESULT GetRegisteredPassportPath(const std::string& passportKey, std::string* filePath,
                                      CarrowinResult* retStat) noexcept;

  private:
    EnvironmentSource source_;
    ModuleReference module_;
};

}  // namespace kestrava

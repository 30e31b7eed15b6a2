// The checks behind VisaInstallChk: COM registration, server and proxy/stub paths, file
// dates and versions, and the files and registry values a VISA installation leaves.
// Each returns its result code with what it found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "visacheck/CarrowinEnvironment.h"
#include "visacheck/CarrowinTypes.h"

namespace kestrava {

// Registry string values longer than this are no usable path (the classic MAX_PATH).
inline constexpr std::size_t kMaxServerPathChars = 260;

struct PathCheck {
    CarrowinResult status = VisaValStat_NoError;
    std::string path;
};

struct DateCheck {
    CarrowinResult status = VisaValStat_NoError;
    double date = 0.0;  // automation date: days since 1899-12-30, local time
};

struct VersionCheck {
    CarrowinResult status = VisaValStat_NoError;
    VersionParts file{};
    VersionParts product{};
};

// The class ID and ProgID must name each other in the registry, and the class's server
// (local server when the low 16 bits of outOfProcess are set, else in-process) must exist.
CarrowinResult CheckComRegistration(const CarrowinEnvironment& env, std::string_view classId,
                                    std::string_view progId, std::int32_t outOfProcess);
// The server path registered for classId; returned even when the file is missing.
PathCheck CheckComServerPath(const CarrowinEnvironment& env, std::string_view classId,
                             std::int32_t outOfProcess);
// The in-process server of the interface's proxy/stub class; 16 (with the path) when the
// interface is marshalled by the automation marshaller.
PathCheck CheckProxyStubPath(const CarrowinEnvironment& env, std::string_view interfaceId);
DateCheck CheckFileDateTime(const CarrowinEnvironment& env, std::string_view filePath);
PathCheck CheckUlmarVisaDirectory(const CarrowinEnvironment& env);
// A file of the system directory, e.g. "visa32.dll"; the path only when the file exists.
PathCheck CheckSystemFile(const CarrowinEnvironment& env, std::string_view fileName);
PathCheck CheckPassportPath(const CarrowinEnvironment& env, std::string_view passportKey);
VersionCheck CheckFileVersion(const CarrowinEnvironment& env, std::string_view filePath);

// "<major>.<minor>.<revision>.<build>", each part as the unsigned number it is.
std::string VersionText(const VersionParts& parts);
// A local date and time as an automation date.
double AutomationDate(int year, int month, int day, int hour, int minute, int second);

}  // namespace kestrava

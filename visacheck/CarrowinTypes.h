// Result codes, platform identifiers and the fixed identities (class, interface and
// type-library GUIDs, ProgIDs) of Carrowin, with their help texts.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrava {

// Method outcome as COM reports it: S_OK, or E_POINTER for a missing out-parameter.
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

enum CarrowinResult : std::int32_t {
    VisaValStat_NoError = 0,
    VisaValStat_ParameterError = 1,
    VisaValStat_ComponentNotRegistered = 10,
    VisaValStat_InterfaceNotRegistered = 11,
    VisaValStat_GUID2ProgIDfail = 12,
    VisaValStat_ProgID2GUIDfail = 13,
    VisaValStat_CompIDDisagreement = 14,
    VisaValStat_IID2PSIDfail = 15,
    VisaValStat_NotCustomMarshaling = 16,
    VisaValStat_NoServerPath = 20,
    VisaValStat_ServerPathInvalid = 21,
    VisaValStat_NotInProcServer = 22,
    VisaValStat_NotOutOfProcServer = 23,
    VisaValStat_Win32Error = 30,
    VisaValStat_InvalidFilePath = 31,
    VisaValStat_InvalidDirPath = 32,
    VisaValStat_RegKeyMissing = 33,
    VisaValStat_RegValueMissing = 34,
    VisaValStat_VerResourceMissing = 35,
};

// Any 32-bit number may be passed where a platform is expected; these are the known ones.
enum UlmarVisaPlatformID : std::int32_t {
    UlmarVisaPlatform_Unknown = 0,
    UlmarVisaPlatform_PC = 1,
    UlmarVisaPlatform_QVM5000 = 5000,
    UlmarVisaPlatform_QVM6000 = 6000,
    UlmarVisaPlatform_QVM7000 = 7000,
    UlmarVisaPlatform_QVMLKR8000 = 8000,
};

struct ResultCodeInfo {
    CarrowinResult code;
    std::string_view name;
    std::string_view helpText;
};

inline constexpr ResultCodeInfo kCarrowinResults[] = {
    {VisaValStat_NoError, "VisaValStat_NoError", "No error return status."},
    {VisaValStat_ParameterError, "VisaValStat_ParameterError", "Value of parameter invalid."},
    {VisaValStat_ComponentNotRegistered, "VisaValStat_ComponentNotRegistered",
     "Registry entries for coclass missing/incomplete."},
    {VisaValStat_InterfaceNotRegistered, "VisaValStat_InterfaceNotRegistered",
     "Registry entries for interface missing/incomplete."},
    {VisaValStat_GUID2ProgIDfail, "VisaValStat_GUID2ProgIDfail",
     "Conversion of ClassID to ProgID failed."},
    {VisaValStat_ProgID2GUIDfail, "VisaValStat_ProgID2GUIDfail",
     "Conversion of ProgID to ClassID failed."},
    {VisaValStat_CompIDDisagreement, "VisaValStat_CompIDDisagreement",
     "Mismatch between supplied value and value from registry."},
    {VisaValStat_IID2PSIDfail, "VisaValStat_IID2PSIDfail",
     "Conversion of interface ID to proxy/stub ClassID failed."},
    {VisaValStat_NotCustomMarshaling, "VisaValStat_NotCustomMarshaling",
     "Interface uses default marshaling - proxy/stub DLL not registered."},
    {VisaValStat_NoServerPath, "VisaValStat_NoServerPath",
     "COM server path not found under ClassID key."},
    {VisaValStat_ServerPathInvalid, "VisaValStat_ServerPathInvalid",
     "Path to COM server binary is not valid."},
    {VisaValStat_NotInProcServer, "VisaValStat_NotInProcServer",
     "COM server is not an in-proc server."},
    {VisaValStat_NotOutOfProcServer, "VisaValStat_NotOutOfProcServer",
     "COM server is not an out-of-proc server."},
    {VisaValStat_Win32Error, "VisaValStat_Win32Error",
     "A Win32 API used in the implementation returned an error."},
    {VisaValStat_InvalidFilePath, "VisaValStat_InvalidFilePath", "Path to file is not valid."},
    {VisaValStat_InvalidDirPath, "VisaValStat_InvalidDirPath", "Path to directory is not valid."},
    {VisaValStat_RegKeyMissing, "VisaValStat_RegKeyMissing",
     "Registry key and/or path to registry key is missing."},
    {VisaValStat_RegValueMissing, "VisaValStat_RegValueMissing", "Registry value is missing."},
    {VisaValStat_VerResourceMissing, "VisaValStat_VerResourceMissing",
     "File has no version resource."},
};

struct PlatformInfo {
    UlmarVisaPlatformID id;
    std::string_view name;
    std::string_view helpText;
    std::string_view description;  // what GetPlatformDescription returns
};

inline constexpr PlatformInfo kPlatforms[] = {
    {UlmarVisaPlatform_Unknown, "UlmarVisaPlatform_Unknown", "UlmarVisa platform not identified.",
     "UlmarVisa platform not established"},
    {UlmarVisaPlatform_PC, "UlmarVisaPlatform_PC", "UlmarVisa platform is standard PC.",
     "Standard PC"},
    {UlmarVisaPlatform_QVM5000, "UlmarVisaPlatform_QVM5000",
     "UlmarVisa platform is QVM 5000 family scope.", "Brennock QVM 5000 scope"},
    {UlmarVisaPlatform_QVM6000, "UlmarVisaPlatform_QVM6000",
     "UlmarVisa platform is QVM 6000 family scope.", "Brennock QVM 6000 scope"},
    {UlmarVisaPlatform_QVM7000, "UlmarVisaPlatform_QVM7000",
     "UlmarVisa platform is QVM 7000 family scope.", "Brennock QVM 7000 scope"},
    {UlmarVisaPlatform_QVMLKR8000, "UlmarVisaPlatform_QVMLKR8000",
     "UlmarVisa platform is QVM 8000 family scope.", "Brennock QVM/LKR 8000 scope"},
};

// The registry probe's families, in probing order; the last row (no key) is the PC.
struct PlatformFamily {
    std::string_view subKey;
    std::int32_t low;
    std::int32_t high;
    UlmarVisaPlatformID id;
};

inline constexpr PlatformFamily kPlatformFamilies[] = {
    {"QVM5000", 5000, 5999, UlmarVisaPlatform_QVM5000},
    {"QVM6000", 6000, 6999, UlmarVisaPlatform_QVM6000},
    {"QVM7000", 7000, 7999, UlmarVisaPlatform_QVM7000},
    {"QVMLKR8000", 8000, 8999, UlmarVisaPlatform_QVMLKR8000},
    {"", 0, 0, UlmarVisaPlatform_PC},
};

// Help text of a result code; empty for a number that is none.
std::string_view CarrowinResultHelp(std::int32_t code);
std::string_view CarrowinResultName(std::int32_t code);
// What GetPlatformDescription returns; empty for an unknown identifier.
std::string_view PlatformDescription(std::int32_t platform);

// Identities written by the registration and checked by the tools.
inline constexpr std::string_view kLibId = "{F0AD49A1-763A-46C2-B69C-528B89CD76F1}";
inline constexpr std::string_view kLibName = "CarrowinLib";
inline constexpr std::string_view kLibHelpString = "Carrowin 1.0 Type Library";
inline constexpr std::string_view kLibVersion = "1.0";
// The automation marshaller: dual interfaces are marshalled by it, not by a DLL of their own.
inline constexpr std::string_view kAutomationMarshallerClsid =
    "{00020424-0000-0000-C000-000000000046}";

struct CoClassInfo {
    std::string_view className;
    std::string_view description;
    std::string_view clsid;
    std::string_view progId;
    std::string_view versionIndependentProgId;
    std::string_view threadingModel;
    std::string_view interfaceName;
    std::string_view iid;
};

inline constexpr CoClassInfo kCarrowinClasses[] = {
    {"VisaInstallChk", "VisaInstallChk Class", "{82FF6937-392C-4AD8-8A15-AAD883FCADC2}",
     "Carrowin.VisaInstallChk.1", "Carrowin.VisaInstallChk", "Free", "IVisaInstallChk",
     "{3CFD3439-71D7-40C0-AC0C-E92E4DB7E3CD}"},
    {"DetectVisaPlatform", "DetectVisaPlatform Class", "{9DB8726A-A8DC-49F5-B934-85B383463BB3}",
     "Carrowin.DetectVisaPlatform.1", "Carrowin.DetectVisaPlatform", "Apartment",
     "IDetectVisaPlatform", "{FB797E2A-2C1B-44A4-AE74-490EF54EB552}"},
};

}  // namespace kestrava

#include "visacheck/PlatformDetection.h"

#include <system_error>

#include "base/ProfileFile.h"
#include "visacheck/Guid.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr std::string_view kScopeKey = "SOFTWARE\\Brennock\\UlmarScope";
constexpr std::string_view kMakerKey = "SOFTWARE\\Brennock";
// More digits than this make a number far above any model's; it is rejected either way.
constexpr int kMaxModelDigits = 9;

// The first run of digits as a number; -1 when there is none.
std::int64_t FirstNumber(std::string_view text) {
    std::size_t at = text.find_first_of("0123456789");
    if (at == std::string_view::npos) return -1;
    std::int64_t n = 0;
    int digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (n != 0 || text[at] != '0') ++digits;  // leading zeros add nothing
        if (digits > kMaxModelDigits) return INT64_MAX;
        n = n * 10 + (text[at] - '0');
    }
    return n;
}

// The number rounded down to its leading digit's place; -1 outside 100..99999.
std::int64_t FamilyOf(std::int64_t n) {
    if (n >= 100 && n <= 999) return n / 100 * 100;
    if (n >= 1000 && n <= 9999) return n / 1000 * 1000;
    if (n >= 10000 && n <= 99999) return n / 10000 * 10000;
    return -1;
}

}  // namespace

UlmarVisaPlatformID PlatformOfModel(std::string_view model) {
    const std::int64_t n = FirstNumber(model);
    const std::int64_t family = FamilyOf(n);
    if (family < 0) return UlmarVisaPlatform_PC;
    if (!ContainsNoCase(model, "QVM") && !ContainsNoCase(model, "LKR")) return UlmarVisaPlatform_PC;
    if (n < 5000 || n > 8999) return UlmarVisaPlatform_PC;
    return static_cast<UlmarVisaPlatformID>(family);
}

OemPlatform PlatformViaOemInfo(const CarrowinEnvironment& env) {
    std::optional<std::string> system = env.SystemDirectory().Path();
    if (!system) return {UlmarVisaPlatform_Unknown, VisaValStat_Win32Error};
    std::optional<fs::path> file = env.SystemDirectory().HostPath(*system + "\\OEMINFO.INI");
    std::error_code ec;
    if (!file || !fs::is_regular_file(*file, ec))
        return {UlmarVisaPlatform_PC, VisaValStat_InvalidFilePath};
    const std::string manufacturer =
        ReadProfileString(file->string(), "General", "Manufacturer", "");
    if (manufacturer.empty() || !ContainsNoCase(manufacturer, "Brennock"))
        return {UlmarVisaPlatform_PC, VisaValStat_NoError};
    const std::string model = ReadProfileString(file->string(), "General", "Model", "");
    return {PlatformOfModel(model), VisaValStat_NoError};
}

UlmarVisaPlatformID PlatformViaRegistry(const CarrowinEnvironment& env) {
    const IRegistry& reg = env.Registry();
    if (std::optional<std::uint32_t> platform =
            ReadRegDword(reg, RegistryRoot::kLocalMachine, kScopeKey, "Platform")) {
        for (const PlatformFamily& row : kPlatformFamilies) {
            if (row.low > 999 && *platform >= static_cast<std::uint32_t>(row.low) &&
                *platform <= static_cast<std::uint32_t>(row.high))
                return row.id;
        }
    }
    if (!reg.KeyExists(RegistryRoot::kLocalMachine, kMakerKey)) return UlmarVisaPlatform_PC;
    for (const PlatformFamily& row : kPlatformFamilies) {
        if (row.subKey.empty()) return row.id;
        if (reg.KeyExists(RegistryRoot::kLocalMachine,
                          std::string(kMakerKey) + "\\" + std::string(row.subKey)))
            return row.id;
    }
    return UlmarVisaPlatform_PC;
}

UlmarVisaPlatformID IdentifyPlatform(const CarrowinEnvironment& env) {
    UlmarVisaPlatformID platform = PlatformViaOemInfo(env).platform;
    return platform == UlmarVisaPlatform_PC ? PlatformViaRegistry(env) : platform;
}

std::int32_t VGpibProtocolFor(std::int32_t platform) {
    switch (platform) {
        case UlmarVisaPlatform_QVM5000:
        case UlmarVisaPlatform_QVMLKR8000:
            return 2;
        case UlmarVisaPlatform_QVM6000:
        case UlmarVisaPlatform_QVM7000:
            return 1;
        default:
            return 0;
    }
}

}  // namespace kestrava

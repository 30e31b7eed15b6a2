#include "visacheck/Visa32Identification.h"

#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace kestrava {
namespace {

std::string CutAtCharacter(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t cut = maxBytes;
    // Step back over UTF-8 continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

std::int32_t Comparison(const Visa32Identity& id, std::int32_t major, std::int32_t minor,
                        std::int32_t revision) {
    const auto mine = std::tie(id.major, id.minor, id.revision);
    const auto other = std::tie(major, minor, revision);
    return mine < other ? -1 : mine == other ? 0 : 1;
}

}  // namespace

Visa32Identity IdentifyVisa32(const CarrowinEnvironment& env) {
    Visa32Identity id;
    std::optional<std::string> system = env.SystemDirectory().Path();
    if (!system) return id;
    std::optional<fs::path> file = env.SystemDirectory().HostPath(*system + "\\visa32.dll");
    std::error_code ec;
    if (!file || !fs::exists(*file, ec)) return id;

    FileVersionInfo info = env.VersionReader().Read(*file);
    if (!info.HasResource()) {
        id.status = -1;
        return id;
    }
    if (!info.fixed) {
        id.status = 1;
        return id;
    }
    id.major = info.fixed->fileVersion[0];
    id.minor = info.fixed->fileVersion[1];
    id.revision = info.fixed->fileVersion[2];
    if (!info.companyName || info.companyName->empty()) {
        id.status = 1;
        return id;
    }
    id.vendor = CutAtCharacter(*info.companyName, kVendorNameMax);
    if (id.vendor.find("National") != std::string::npos)
        id.status = 11 + Comparison(id, 2, 5, 0);
    else if (id.vendor.find("Brennock") != std::string::npos)
        id.status = 21 + Comparison(id, 1, 10, 0);
    else
        id.status = 1;
    return id;
}

}  // namespace kestrava

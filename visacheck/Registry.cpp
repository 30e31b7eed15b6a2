#include "visacheck/Registry.h"

#include "visacheck/Guid.h"

namespace kestrava {

RegString ReadRegString(const IRegistry& registry, RegistryRoot root, std::string_view path,
                        std::string_view name) {
    RegString result;
    if (!registry.KeyExists(root, path)) return result;
    std::optional<RegValue> value = registry.ReadValue(root, path, name);
    if (!value ||
        (value->type != RegValueType::kString && value->type != RegValueType::kExpandString)) {
        result.status = RegReadStatus::kValueMissing;
        return result;
    }
    result.status = RegReadStatus::kOk;
    result.text = std::move(value->text);
    result.type = value->type;
    return result;
}

std::optional<std::uint32_t> ReadRegDword(const IRegistry& registry, RegistryRoot root,
                                          std::string_view path, std::string_view name) {
    std::optional<RegValue> value = registry.ReadValue(root, path, name);
    if (!value || value->type != RegValueType::kDword) return std::nullopt;
    return value->dword;
}

std::optional<std::string> NormalizedKeyPath(std::string_view path) {
    if (path.empty()) return std::string();
    std::size_t start = 0;
    while (true) {
        std::size_t sep = path.find('\\', start);
        std::size_t end = sep == std::string_view::npos ? path.size() : sep;
        if (end == start) return std::nullopt;
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    return LowerAscii(path);
}

}  // namespace kestrava

#include "visacheck/MemoryRegistry.h"

#include "visacheck/Guid.h"

namespace kestrava {

std::optional<std::string> MemoryRegistry::Id(RegistryRoot root, std::string_view path) {
    std::optional<std::string> normal = NormalizedKeyPath(path);
    if (!normal) return std::nullopt;
    std::string id = root == RegistryRoot::kClassesRoot ? "hkcr" : "hklm";
    if (!normal->empty()) id += "\\" + *normal;
    return id;
}

bool MemoryRegistry::KeyExists(RegistryRoot root, std::string_view path) const {
    std::optional<std::string> id = Id(root, path);
    if (!id) return false;
    return id->find('\\') == std::string::npos || keys_.count(*id) != 0;
}

std::optional<RegValue> MemoryRegistry::ReadValue(RegistryRoot root, std::string_view path,
                                                  std::string_view name) const {
    std::optional<std::string> id = Id(root, path);
    if (!id) return std::nullopt;
    auto key = keys_.find(*id);
    if (key == keys_.end()) return std::nullopt;
    auto value = key->second.values.find(LowerAscii(name));
    if (value == key->second.values.end()) return std::nullopt;
    return value->second;
}

bool MemoryRegistry::CreateKey(RegistryRoot root, std::string_view path) {
    std::optional<std::string> id = Id(root, path);
    if (!id) return false;
    // Every ancestor exists as a key of its own, as in a real registry.
    for (std::size_t sep = id->find('\\'); sep != std::string::npos; sep = id->find('\\', sep + 1))
        if (sep > 4) keys_.try_emplace(id->substr(0, sep));
    if (id->find('\\') != std::string::npos) keys_.try_emplace(*id);
    return true;
}

bool MemoryRegistry::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                              const RegValue& value) {
    if (!CreateKey(root, path)) return false;
    std::optional<std::string> id = Id(root, path);
    if (id->find('\\') == std::string::npos) return false;  // no values on the roots
    keys_[*id].values[LowerAscii(name)] = value;
    return true;
}

bool MemoryRegistry::DeleteTree(RegistryRoot root, std::string_view path) {
    std::optional<std::string> id = Id(root, path);
    if (!id || id->find('\\') == std::string::npos) return false;
    keys_.erase(*id);
    const std::string below = *id + "\\";
    for (auto it = keys_.lower_bound(below);
         it != keys_.end() && it->first.compare(0, below.size(), below) == 0;)
        it = keys_.erase(it);
    return true;
}

}  // namespace kestrava

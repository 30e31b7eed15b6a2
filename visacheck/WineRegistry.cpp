#include "visacheck/WineRegistry.h"

namespace kestrava {
namespace {

std::string InFile(RegistryRoot root, std::string_view path) {
    if (root == RegistryRoot::kLocalMachine) return std::string(path);
    std::string full = "Software\\Classes";
    if (!path.empty()) full += "\\" + std::string(path);
    return full;
}

}  // namespace

WineRegistry::WineRegistry(const std::filesystem::path& prefix)
    : machinePath_((prefix / "system.reg").string()) {
    machineStatus_ = machine_.Load(machinePath_);
    // The user's classes only add to the merged view; a missing or bad user.reg adds nothing.
    user_.Load((prefix / "user.reg").string());
}

bool WineRegistry::KeyExists(RegistryRoot root, std::string_view path) const {
    if (!NormalizedKeyPath(path)) return false;
    const std::string full = InFile(root, path);
    if (root == RegistryRoot::kClassesRoot && user_.KeyExists(full)) return true;
    return machine_.KeyExists(full);
}

std::optional<RegValue> WineRegistry::ReadValue(RegistryRoot root, std::string_view path,
                                                std::string_view name) const {
    if (!NormalizedKeyPath(path)) return std::nullopt;
    const std::string full = InFile(root, path);
    if (root == RegistryRoot::kClassesRoot) {
        if (std::optional<RegValue> value = user_.ReadValue(full, name)) return value;
    }
    return machine_.ReadValue(full, name);
}

bool WineRegistry::CreateKey(RegistryRoot root, std::string_view path) {
    return MachineLoaded() && NormalizedKeyPath(path) && machine_.CreateKey(InFile(root, path));
}

bool WineRegistry::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                            const RegValue& value) {
    return MachineLoaded() && NormalizedKeyPath(path) &&
           machine_.SetValue(InFile(root, path), name, value);
}

bool WineRegistry::DeleteTree(RegistryRoot root, std::string_view path) {
    if (!MachineLoaded() || path.empty() || !NormalizedKeyPath(path)) return false;
    machine_.DeleteTree(InFile(root, path));
    return true;
}

bool WineRegistry::Flush() {
    if (!machine_.Dirty()) return true;
    return MachineLoaded() && machine_.Save(machinePath_);
}

}  // namespace kestrava

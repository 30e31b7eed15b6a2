// A registry held in memory, for tests and for trying the checks without a Wine prefix.
#pragma once

#include <map>
#include <string>

#include "visacheck/Registry.h"

namespace kestrava {

class MemoryRegistry : public IRegistry {
  public:
    bool KeyExists(RegistryRoot root, std::string_view path) const override;
    std::optional<RegValue> ReadValue(RegistryRoot root, std::string_view path,
                                      std::string_view name) const override;
    bool CreateKey(RegistryRoot root, std::string_view path) override;
    bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                  const RegValue& value) override;
    bool DeleteTree(RegistryRoot root, std::string_view path) override;
    bool Flush() override { return true; }

    std::size_t KeyCount() const { return keys_.size(); }

  private:
    struct Key {
        std::map<std::string, RegValue> values;  // by lower-case name
    };
    // "<root>\<lower-case path>", or nullopt for a path that names no key.
    static std::optional<std::string> Id(RegistryRoot root, std::string_view path);

    std::map<std::string, Key> keys_;
};

}  // namespace kestrava

// Shared pieces of the Carrowin tests: a Wine-prefix-like folder and a fixture holding one,
// a version reader that answers from a table, builders of version resources and small PE files, and
// the paths of the PE fixtures built by the real toolchain.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempFolders.h"
#include "visacheck/CarrowinEnvironment.h"
#include "visacheck/FileVersion.h"
#include "visacheck/MemoryRegistry.h"

namespace kestrava::test {

// drive_c/windows/system32, dosdevices/c: and z:, and a system.reg with Wine's header.
class FakePrefix {
  public:
    explicit FakePrefix(const std::filesystem::path& root);
    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path System32() const { return root_ / "drive_c" / "windows" / "system32"; }
    // A file in drive_c by its Windows path below C:\ (backslashes), made with contents.
    std::filesystem::path AddFile(const std::string& windowsPathBelowC,
                                  const std::string& contents);
    void WriteSystemReg(const std::string& bodyAfterHeader) const;
    void WriteUserReg(const std::string& bodyAfterHeader) const;

  private:
    std::filesystem::path root_;
};

class TableVersionReader : public IFileVersionReader {
  public:
    // Files not in the table: not found when missing, else a bad format.
    FileVersionInfo Read(const std::filesystem::path& hostPath) const override;
    void Set(const std::filesystem::path& hostPath, FileVersionInfo info) {
        table_[Key(hostPath)] = std::move(info);
    }

  private:
    // Paths through dosdevices and through drive_c name the same file.
    static std::string Key(const std::filesystem::path& path) {
        std::error_code ec;
        return std::filesystem::weakly_canonical(path, ec).string();
    }
    std::map<std::string, FileVersionInfo> table_;
};

// The version information of a DLL with a fixed part and, when given, a company name.
FileVersionInfo VersionInfoOf(VersionParts file, std::optional<std::string> company);

// A memory registry, the prefix's system directory and the given version reader.
struct TestEnvironment {
    std::shared_ptr<MemoryRegistry> registry = std::make_shared<MemoryRegistry>();
    std::shared_ptr<TableVersionReader> versions = std::make_shared<TableVersionReader>();
    std::shared_ptr<CarrowinEnvironment> env;
    // versionReader null: the table above.
    explicit TestEnvironment(const std::filesystem::path& prefix,
                             std::shared_ptr<IFileVersionReader> versionReader = nullptr);
};

// Fixture: a fake prefix in the test's folder and an environment over it.
class PrefixTest : public TempFolders {
  protected:
    void SetUp() override;
    MemoryRegistry& Reg() { return *t_->registry; }
    const CarrowinEnvironment& Env() const { return *t_->env; }

    std::unique_ptr<FakePrefix> prefix_;
    std::unique_ptr<TestEnvironment> t_;
};

// VS_VERSIONINFO with fixed information and a string table holding CompanyName.
std::vector<std::uint8_t> BuildVersionResource(VersionParts file, VersionParts product,
                                               const std::optional<std::string>& company,
                                               const std::string& table = "040904b0");
// A minimal PE image (PE32+ or PE32) whose only section holds a resource directory with
// one resource: the given bytes as type 16, name 1, language 0x409.
std::vector<std::uint8_t> BuildPe(const std::vector<std::uint8_t>& versionResource, bool pe32plus);
// Offsets inside BuildPe's image, for tests that damage it.
inline constexpr std::size_t kPeHeaderAt = 0x40;
inline constexpr std::size_t kPeResourceAt = 0x200;

bool HavePeTools();
std::filesystem::path PeFixture(const std::string& name);
std::filesystem::path CarrowinLibrary();
std::filesystem::path CarrowinCommand();

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace kestrava::test

#include "tests/visacheck/CarrowinTestSupport.h"

#include <fstream>

#include "visacheck/SystemDirectory.h"
#include "visacheck/VersionResource.h"
#include "visacheck/WineSystemDirectory.h"

namespace fs = std::filesystem;

namespace kestrava::test {
namespace {

constexpr const char* kRegHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}
void Pad4(std::vector<std::uint8_t>& out) {
    while (out.size() % 4) out.push_back(0);
}
void AppendUtf16(std::vector<std::uint8_t>& out, const std::string& ascii) {
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
}

// One block: header, key, value, children; its length excludes the final padding.
std::vector<std::uint8_t> Block(const std::string& key, const std::vector<std::uint8_t>& value,
                                std::uint16_t valueLength, std::uint16_t type,
                                const std::vector<std::vector<std::uint8_t>>& children) {
    std::vector<std::uint8_t> out(6, 0);
    AppendUtf16(out, key);
    Pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Pad4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    Put16(out, 0, static_cast<std::uint32_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, type);
    return out;
}

}  // namespace

FakePrefix::FakePrefix(const fs::path& root) : root_(root) {
    fs::create_directories(System32());
    fs::create_directories(root_ / "dosdevices");
    fs::create_symlink("../drive_c", root_ / "dosdevices" / "c:");
    fs::create_symlink("/", root_ / "dosdevices" / "z:");
    WriteSystemReg("");
}

fs::path FakePrefix::AddFile(const std::string& windowsPathBelowC, const std::string& contents) {
    std::string relative = windowsPathBelowC;
    for (char& c : relative)
        if (c == '\\') c = '/';
    fs::path path = root_ / "drive_c" / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

void FakePrefix::WriteSystemReg(const std::string& body) const {
    std::ofstream(root_ / "system.reg", std::ios::binary) << kRegHeader << body;
}

void FakePrefix::WriteUserReg(const std::string& body) const {
    std::ofstream(root_ / "user.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        << body;
}

FileVersionInfo TableVersionReader::Read(const fs::path& hostPath) const {
    auto it = table_.find(Key(hostPath));
    if (it != table_.end()) return it->second;
    FileVersionInfo info;
    std::error_code ec;
    info.lastError = fs::exists(hostPath, ec) ? kErrorBadExeFormat : kErrorFileNotFound;
    return info;
}

void PrefixTest::SetUp() {
    TempFolders::SetUp();
    prefix_ = std::make_unique<FakePrefix>(Root() + "/prefix");
    t_ = std::make_unique<TestEnvironment>(prefix_->Root());
}

FileVersionInfo VersionInfoOf(VersionParts file, std::optional<std::string> company) {
    FileVersionInfo info;
    info.lastError = 0;
    info.fixed = FixedFileInfo{file, file};
    info.companyName = std::move(company);
    return info;
}

TestEnvironment::TestEnvironment(const fs::path& prefix,
                                 std::shared_ptr<IFileVersionReader> versionReader) {
    std::shared_ptr<IFileVersionReader> reader =
        versionReader ? std::move(versionReader) : std::shared_ptr<IFileVersionReader>(versions);
    env = std::make_shared<CarrowinEnvironment>(
        registry, std::make_shared<WineSystemDirectory>(prefix), reader);
}

std::vector<std::uint8_t> BuildVersionResource(VersionParts file, VersionParts product,
                                               const std::optional<std::string>& company,
                                               const std::string& table) {
    std::vector<std::uint8_t> fixed(52, 0);
    Put32(fixed, 0, 0xFEEF04BD);
    Put32(fixed, 4, 0x00010000);
    Put32(fixed, 8, static_cast<std::uint32_t>(file[0]) << 16 | file[1]);
    Put32(fixed, 12, static_cast<std::uint32_t>(file[2]) << 16 | file[3]);
    Put32(fixed, 16, static_cast<std::uint32_t>(product[0]) << 16 | product[1]);
    Put32(fixed, 20, static_cast<std::uint32_t>(product[2]) << 16 | product[3]);
    std::vector<std::vector<std::uint8_t>> children;
    if (company) {
        std::vector<std::uint8_t> text;
        AppendUtf16(text, *company);
        auto name =
            Block("CompanyName", text, static_cast<std::uint16_t>(company->size() + 1), 1, {});
        auto strings = Block(table, {}, 0, 1, {name});
        children.push_back(Block("StringFileInfo", {}, 0, 1, {strings}));
    }
    return Block("VS_VERSION_INFO", fixed, 52, 0, children);
}

std::vector<std::uint8_t> BuildPe(const std::vector<std::uint8_t>& resource, bool pe32plus) {
    const std::size_t optionalSize = pe32plus ? 240 : 224;
    const std::uint32_t rva = 0x1000;
    std::vector<std::uint8_t> rsrc(0x58, 0);
    // Root: one entry, type 16 -> directory at 0x18; names: 1 -> 0x30; languages: 0x409 ->
    // data entry at 0x48; the data follows at 0x58.
    Put16(rsrc, 0x0E, 1);
    Put32(rsrc, 0x10, 16);
    Put32(rsrc, 0x14, 0x80000000u | 0x18);
    Put16(rsrc, 0x18 + 0x0E, 1);
    Put32(rsrc, 0x28, 1);
    Put32(rsrc, 0x2C, 0x80000000u | 0x30);
    Put16(rsrc, 0x30 + 0x0E, 1);
    Put32(rsrc, 0x40, 0x409);
    Put32(rsrc, 0x44, 0x48);
    Put32(rsrc, 0x48, rva + 0x58);
    Put32(rsrc, 0x4C, static_cast<std::uint32_t>(resource.size()));
    rsrc.insert(rsrc.end(), resource.begin(), resource.end());
    const std::uint32_t rawSize = static_cast<std::uint32_t>((rsrc.size() + 0x1FF) & ~0x1FFu);

    std::vector<std::uint8_t> image(kPeResourceAt + rawSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, kPeHeaderAt);
    const std::size_t pe = kPeHeaderAt;
    image[pe] = 'P';
    image[pe + 1] = 'E';
    Put16(image, pe + 4, pe32plus ? 0x8664 : 0x14C);
    Put16(image, pe + 6, 1);
    Put16(image, pe + 20, static_cast<std::uint32_t>(optionalSize));
    Put16(image, pe + 22, 0x2022);
    const std::size_t opt = pe + 24;
    Put16(image, opt, pe32plus ? 0x20B : 0x10B);
    const std::size_t countAt = opt + (pe32plus ? 108 : 92);
    Put32(image, countAt, 16);
    Put32(image, countAt + 4 + 16, rva);
    Put32(image, countAt + 4 + 20, static_cast<std::uint32_t>(rsrc.size()));
    const std::size_t section = opt + optionalSize;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, image.begin() + static_cast<std::ptrdiff_t>(section));
    Put32(image, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    Put32(image, section + 12, rva);
    Put32(image, section + 16, rawSize);
    Put32(image, section + 20, kPeResourceAt);
    std::copy(rsrc.begin(), rsrc.end(), image.begin() + kPeResourceAt);
    return image;
}

bool HavePeTools() {
    return CARROWIN_HAVE_PE_TOOLS != 0;
}
fs::path PeFixture(const std::string& name) {
    return fs::path(CARROWIN_PE_DIR) / (name + ".dll");
}
fs::path CarrowinLibrary() {
    return CARROWIN_LIBRARY;
}
fs::path CarrowinCommand() {
    return CARROWIN_COMMAND;
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kestrava::test

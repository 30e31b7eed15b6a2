#include "visacheck/PeVersionReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/RegularFile.h"
#include "visacheck/VersionResource.h"

namespace kestrava {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kVersionResourceId = 1;
constexpr std::uint16_t kMaxSections = 96;  // the Windows loader's own limit
constexpr std::uint16_t kMaxOptionalHeader = 4096;

// Random access to the bytes of a file or of memory; every read is checked whole.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual bool Read(std::uint64_t at, std::size_t count, std::uint8_t* out) const = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint64_t Size() const override { return data_.size(); }
    bool Read(std::uint64_t at, std::size_t count, std::uint8_t* out) const override {
        if (at > data_.size() || count > data_.size() - at) return false;
        if (count > 0) std::memcpy(out, data_.data() + at, count);
        return true;
    }

  private:
    std::span<const std::uint8_t> data_;
};

class FileSource : public ByteSource {
  public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t at, std::size_t count, std::uint8_t* out) const override {
        if (at > size_ || count > size_ - at) return false;
        while (count > 0) {
            ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            out += n;
            at += static_cast<std::uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int fd_;
    std::uint64_t size_;
};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class PeImage {
  public:
    explicit PeImage(const ByteSource& source) : source_(source) {}

    // Reads the headers; the error code when they are not those of a PE file.
    std::uint32_t Open();
    FileVersionInfo VersionInfo();

  private:
    // Bytes at a relative virtual address, all inside one section's file data.
    bool ReadRva(std::uint32_t rva, std::size_t count, std::uint8_t* out) const;
    // The entry `id` of the resource directory at `dirOffset`; nullopt when missing. With
    // anyEntry the directory's first entry is taken whatever its identifier.
    std::optional<std::uint32_t> FindEntry(std::uint32_t dirOffset, std::uint32_t id,
                                           bool anyEntry) const;

    const ByteSource& source_;
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;
};

std::uint32_t PeImage::Open() {
    std::uint8_t dos[64];
    if (!source_.Read(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return kErrorBadExeFormat;
    const std::uint64_t pe = U32(dos + 0x3C);
    std::uint8_t file[24];
    if (!source_.Read(pe, sizeof file, file) || std::memcmp(file, "PE\0\0", 4) != 0)
        return kErrorBadExeFormat;
    const std::uint16_t sectionCount = U16(file + 6);
    const std::uint16_t optionalSize = U16(file + 20);
    if (sectionCount > kMaxSections || optionalSize < 2 || optionalSize > kMaxOptionalHeader)
        return kErrorBadExeFormat;
    std::vector<std::uint8_t> optional(optionalSize);
    if (!source_.Read(pe + 24, optional.size(), optional.data())) return kErrorBadExeFormat;
    // The data directories sit at a different place in 32- and 64-bit images.
    std::size_t countAt = 0;
    switch (U16(optional.data())) {
        case 0x10B:
            countAt = 92;
            break;
        case 0x20B:
            countAt = 108;
            break;
        default:
            return kErrorBadExeFormat;
    }
    if (countAt + 4 <= optional.size()) {
        const std::uint32_t directories = U32(optional.data() + countAt);
        const std::size_t resourceAt = countAt + 4 + 2 * 8;  // entry 2: resources
        if (directories > 2 && resourceAt + 8 <= optional.size())
            resourceRva_ = U32(optional.data() + resourceAt);
    }
    std::vector<std::uint8_t> table(std::size_t{sectionCount} * 40);
    if (!source_.Read(pe + 24 + optionalSize, table.size(), table.data()))
        return kErrorBadExeFormat;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = table.data() + i * 40;
        sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    return 0;
}

bool PeImage::ReadRva(std::uint32_t rva, std::size_t count, std::uint8_t* out) const {
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress) continue;
        const std::uint64_t into = rva - s.virtualAddress;
        const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (into >= extent) continue;
        if (into + count > s.rawSize) return false;
        return source_.Read(std::uint64_t{s.rawOffset} + into, count, out);
    }
    return false;
}

std::optional<std::uint32_t> PeImage::FindEntry(std::uint32_t dirOffset, std::uint32_t id,
                                                bool anyEntry) const {
    std::uint8_t header[16];
    if (!ReadRva(resourceRva_ + dirOffset, sizeof header, header)) return std::nullopt;
    const std::size_t count = std::size_t{U16(header + 12)} + U16(header + 14);
    if (count == 0) return std::nullopt;
    std::vector<std::uint8_t> entries(count * 8);
    if (!ReadRva(resourceRva_ + dirOffset + 16, entries.size(), entries.data()))
        return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t name = U32(entries.data() + i * 8);
        if (anyEntry || name == id) return U32(entries.data() + i * 8 + 4);
    }
    return std::nullopt;
}

FileVersionInfo PeImage::VersionInfo() {
    FileVersionInfo info;
    if (resourceRva_ == 0) {
        info.lastError = kErrorResourceDataNotFound;
        return info;
    }
    constexpr std::uint32_t kSubdirectory = 0x80000000u;
    // Three levels: type, name, language. Each must lead where the next one is expected.
    std::optional<std::uint32_t> type = FindEntry(0, kResourceTypeVersion, false);
    if (!type || !(*type & kSubdirectory)) {
        info.lastError = kErrorResourceTypeNotFound;
        return info;
    }
    std::optional<std::uint32_t> name =
        FindEntry(*type & ~kSubdirectory, kVersionResourceId, false);
    if (!name || !(*name & kSubdirectory)) {
        info.lastError = kErrorResourceNameNotFound;
        return info;
    }
    std::optional<std::uint32_t> language = FindEntry(*name & ~kSubdirectory, 0, true);
    if (!language || (*language & kSubdirectory)) {
        info.lastError = kErrorResourceLangNotFound;
        return info;
    }
    std::uint8_t data[16];
    if (!ReadRva(resourceRva_ + *language, sizeof data, data)) {
        info.lastError = kErrorResourceDataNotFound;
        return info;
    }
    const std::size_t size = std::min<std::size_t>(U32(data + 4), kVersionResourceMaxBytes);
    info.resource.resize(size);
    if (!ReadRva(U32(data), size, info.resource.data())) {
        info.resource.clear();
        info.lastError = kErrorResourceDataNotFound;
        return info;
    }
    info.lastError = 0;
    info.fixed = QueryFixedFileInfo(info.resource);
    info.companyName = QueryVersionString(info.resource, "\\StringFileInfo\\040904b0\\CompanyName");
    return info;
}

FileVersionInfo ReadFrom(const ByteSource& source) {
    PeImage image(source);
    if (std::uint32_t error = image.Open()) {
        FileVersionInfo info;
        info.lastError = error;
        return info;
    }
    return image.VersionInfo();
}

}  // namespace

FileVersionInfo PeVersionReader::Read(const std::filesystem::path& hostPath) const {
    FileVersionInfo info;
    // Only a regular file: a FIFO planted where a DLL should be cannot hang the check.
    RegularFile file(hostPath.string());
    if (!file.IsOpen()) {
        const int error = file.Error();
        info.lastError =
            (error == ENOENT || error == ENOTDIR) ? kErrorFileNotFound : kErrorAccessDenied;
        return info;
    }
    FileSource source(file.Fd(), static_cast<std::uint64_t>(file.Size()));
    return ReadFrom(source);
}

FileVersionInfo ReadPeVersionInfo(std::span<const std::uint8_t> image) {
    return ReadFrom(MemorySource(image));
}

}  // namespace kestrava

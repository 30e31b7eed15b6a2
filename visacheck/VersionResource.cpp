#include "visacheck/VersionResource.h"

#include <vector>

#include "visacheck/Guid.h"
#include "visacheck/Utf8.h"

namespace kestrava {
namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoBytes = 52;
constexpr int kMaxDepth = 8;

std::uint16_t U16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at] | d[at + 1] << 8 | d[at + 2] << 16) |
           static_cast<std::uint32_t>(d[at + 3]) << 24;
}
std::size_t Align4(std::size_t at) {
    return (at + 3) & ~std::size_t{3};
}

struct Block {
    std::u16string key;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::size_t value = 0;     // offset of the value
    std::size_t children = 0;  // offset of the first child
    std::size_t end = 0;       // one past the block
};

// The block at `at`, bounded by `limit`; nullopt when it cannot be one.
std::optional<Block> ParseBlock(std::span<const std::uint8_t> d, std::size_t at,
                                std::size_t limit) {
    if (at + 6 > limit) return std::nullopt;
    std::uint16_t length = U16(d, at);
    if (length < 6) return std::nullopt;
    Block b;
    b.end = std::min(at + length, limit);
    b.valueLength = U16(d, at + 2);
    b.type = U16(d, at + 4);
    std::size_t p = at + 6;
    for (;; p += 2) {
        if (p + 2 > b.end) return std::nullopt;  // key without its terminating zero
        std::uint16_t unit = U16(d, p);
        if (unit == 0) break;
        b.key += static_cast<char16_t>(unit);
    }
    b.value = std::min(Align4(p + 2), b.end);
    std::size_t valueBytes = b.type == 1 ? std::size_t{b.valueLength} * 2 : b.valueLength;
    b.children = std::min(Align4(std::min(b.value + valueBytes, b.end)), b.end);
    return b;
}

bool KeyIs(const std::u16string& key, std::string_view name) {
    if (key.size() != name.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] > 0x7F) return false;
        char c = static_cast<char>(key[i]);
        if (!EqualsNoCase(std::string_view(&c, 1), name.substr(i, 1))) return false;
    }
    return true;
}

std::optional<Block> Root(std::span<const std::uint8_t> d) {
    std::optional<Block> root = ParseBlock(d, 0, d.size());
    if (!root || !KeyIs(root->key, "VS_VERSION_INFO")) return std::nullopt;
    return root;
}

std::optional<Block> Child(std::span<const std::uint8_t> d, const Block& parent,
                           std::string_view name) {
    // Each child is at least 8 bytes long once aligned, so the walk ends.
    for (std::size_t at = parent.children; at + 6 <= parent.end;) {
        std::optional<Block> child = ParseBlock(d, at, parent.end);
        if (!child) return std::nullopt;
        if (KeyIs(child->key, name)) return child;
        at = Align4(child->end);
    }
    return std::nullopt;
}

// UTF-16 text from `at` up to its terminating zero or `end`, as UTF-8.
std::string Utf16Text(std::span<const std::uint8_t> d, std::size_t at, std::size_t end) {
    std::string out;
    for (; at + 2 <= end; at += 2) {
        std::uint32_t unit = U16(d, at);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 4 <= end) {
            std::uint32_t low = U16(d, at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

}  // namespace

std::optional<FixedFileInfo> QueryFixedFileInfo(std::span<const std::uint8_t> d) {
    std::optional<Block> root = Root(d);
    if (!root || root->valueLength < kFixedInfoBytes || root->value + kFixedInfoBytes > root->end)
        return std::nullopt;
    const std::size_t v = root->value;
    if (U32(d, v) != kFixedSignature) return std::nullopt;
    const auto parts = [&](std::size_t at) {
        std::uint32_t ms = U32(d, at), ls = U32(d, at + 4);
        return VersionParts{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
                            static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
    };
    FixedFileInfo info;
    info.fileVersion = parts(v + 8);
    info.productVersion = parts(v + 16);
    return info;
}

std::optional<std::string> QueryVersionString(std::span<const std::uint8_t> d,
                                              std::string_view path) {
    std::optional<Block> block = Root(d);
    if (!block) return std::nullopt;
    std::vector<std::string_view> names;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t sep = path.find('\\', start);
        std::string_view name = path.substr(start, sep - start);
        if (!name.empty()) names.push_back(name);
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    if (names.empty() || names.size() > kMaxDepth) return std::nullopt;
    for (std::string_view name : names) {
        block = Child(d, *block, name);
        if (!block) return std::nullopt;
    }
    // The text runs to its zero; some writers count the value length in bytes, others
    // in characters, so the block's end is the only bound trusted.
    if (block->valueLength == 0) return std::string();
    return Utf16Text(d, block->value, block->end);
}

}  // namespace kestrava

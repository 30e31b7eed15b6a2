#include "visacheck/WineRegFile.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/ProfileFile.h"
#include "visacheck/Guid.h"
#include "visacheck/Utf8.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// Collects escaped UTF-16 units, pairing surrogates; a lone one becomes U+FFFD.
struct Utf16Sink {
    std::string& out;
    std::uint32_t high = 0;

    void Unit(std::uint32_t unit) {
        if (high) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                high = 0;
                return;
            }
            Flush();
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            high = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, unit);
    }
    void Flush() {
        if (high) AppendUtf8(out, 0xFFFD);
        high = 0;
    }
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Index of the quote that closes a string starting just after `from`, skipping escapes.
std::size_t ClosingQuote(std::string_view text, std::size_t from, char quote) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == quote)
            return i;
    }
    return std::string_view::npos;
}

// A line without the carriage returns at its end, all of them: one left behind would end
// the line when it is written back and read again, and could uncover a continuation.
std::string_view WithoutCarriageReturns(std::string_view line) {
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

struct ValueLine {
    std::string name;
    std::string_view data;  // after '='
};

std::optional<ValueLine> SplitValueLine(std::string_view line) {
    if (line.size() >= 2 && line[0] == '@' && line[1] == '=') return ValueLine{"", line.substr(2)};
    if (line.empty() || line[0] != '"') return std::nullopt;
    std::size_t close = ClosingQuote(line, 1, '"');
    if (close == std::string_view::npos || close + 1 >= line.size() || line[close + 1] != '=')
        return std::nullopt;
    return ValueLine{WineRegFile::Unescape(line.substr(1, close - 1)), line.substr(close + 2)};
}

std::optional<std::string> QuotedString(std::string_view data) {
    if (data.empty() || data[0] != '"') return std::nullopt;
    std::size_t close = ClosingQuote(data, 1, '"');
    if (close == std::string_view::npos) return std::nullopt;
    return WineRegFile::Unescape(data.substr(1, close - 1));
}

// The bytes of "hex:aa,bb,\<newline>  cc" data.
std::vector<std::uint8_t> HexBytes(std::string_view data) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : data) {
        int d = HexDigit(c);
        if (d < 0) {
            high = -1;
            continue;
        }
        if (high < 0) {
            high = d;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    return bytes;
}

std::optional<RegValue> ParseData(std::string_view data) {
    RegValue value;
    if (data.substr(0, 1) == "\"") {
        std::optional<std::string> text = QuotedString(data);
        if (!text) return std::nullopt;
        value.text = std::move(*text);
        return value;
    }
    if (data.substr(0, 4) == "str(") {
        std::size_t close = data.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view type = data.substr(4, close - 4);
        std::optional<std::string> text = QuotedString(data.substr(close + 2));
        if (!text) return std::nullopt;
        value.type = type == "1"   ? RegValueType::kString
                     : type == "2" ? RegValueType::kExpandString
                                   : RegValueType::kOther;
        value.text = std::move(*text);
        return value;
    }
    if (data.substr(0, 6) == "dword:") {
        std::string_view digits = data.substr(6, 8);
        std::uint32_t number = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
        if (ec != std::errc() || end == digits.data()) return std::nullopt;
        return RegValue::Dword(number);
    }
    if (data.substr(0, 7) == "hex(4):") {
        std::vector<std::uint8_t> bytes = HexBytes(data.substr(7));
        if (bytes.size() == 4)
            return RegValue::Dword(static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 |
                                                              bytes[2] << 16 | bytes[3] << 24));
    }
    value.type = RegValueType::kOther;
    return value;
}

std::string DataText(const RegValue& value) {
    switch (value.type) {
        case RegValueType::kString:
            return "\"" + WineRegFile::Escape(value.text, "\"") + "\"";
        case RegValueType::kExpandString:
            return "str(2):\"" + WineRegFile::Escape(value.text, "\"") + "\"";
        case RegValueType::kDword: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(value.dword));
            return buf;
        }
        case RegValueType::kOther:
            break;
    }
    return {};
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string WineRegFile::Escape(std::string_view text, std::string_view quotes) {
    std::string out;
    char buf[16];
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        std::size_t len = 1;
        if (c >= 0x80) {
            // A UTF-8 sequence; a byte that starts none stands for itself (Latin-1).
            len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
            bool ok = len != 0 && i + len <= text.size();
            for (std::size_t k = 1; ok && k < len; ++k)
                ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            if (ok) {
                cp = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
                for (std::size_t k = 1; k < len; ++k)
                    cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            } else {
                len = 1;
            }
        }
        i += len;
        if (cp == '\\' ||
            (cp < 0x80 && quotes.find(static_cast<char>(cp)) != std::string_view::npos)) {
            out += '\\';
            out += static_cast<char>(cp);
            continue;
        }
        if (cp >= 0x20 && cp < 0x7F) {
            out += static_cast<char>(cp);
            continue;
        }
        const char* named = nullptr;
        switch (cp) {
            case 7:
                named = "\\a";
                break;
            case 8:
                named = "\\b";
                break;
            case 9:
                named = "\\t";
                break;
            case 10:
                named = "\\n";
                break;
            case 11:
                named = "\\v";
                break;
            case 12:
                named = "\\f";
                break;
            case 13:
                named = "\\r";
                break;
            case 27:
                named = "\\e";
                break;
            default:
                break;
        }
        if (named) {
            out += named;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            std::snprintf(buf, sizeof buf, "\\x%04x\\x%04x", 0xD800 + (cp >> 10),
                          0xDC00 + (cp & 0x3FF));
            out += buf;
        } else {
            // Always four digits, so a following hex digit cannot join the escape.
            std::snprintf(buf, sizeof buf, "\\x%04x", static_cast<unsigned>(cp));
            out += buf;
        }
    }
    return out;
}

std::string WineRegFile::Unescape(std::string_view text) {
    std::string out;
    Utf16Sink sink{out};
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            sink.Flush();
            out += c;
            continue;
        }
        char e = text[++i];
        std::uint32_t unit = 0;
        switch (e) {
            case 'a':
                unit = 7;
                break;
            case 'b':
                unit = 8;
                break;
            case 'e':
                unit = 27;
                break;
            case 'f':
                unit = 12;
                break;
            case 'n':
                unit = 10;
                break;
            case 'r':
                unit = 13;
                break;
            case 't':
                unit = 9;
                break;
            case 'v':
                unit = 11;
                break;
            case 'x': {
                int digits = 0;
                while (digits < 4 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
                    unit = unit * 16 + static_cast<std::uint32_t>(HexDigit(text[++i]));
                    ++digits;
                }
                if (digits == 0) unit = 'x';
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unit = static_cast<std::uint32_t>(e - '0');
                    for (int digits = 1; digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' &&
                                         text[i + 1] <= '7';
                         ++digits)
                        unit = unit * 8 + static_cast<std::uint32_t>(text[++i] - '0');
                } else {
                    sink.Flush();
                    out += e;
                    continue;
                }
        }
        sink.Unit(unit);
    }
    sink.Flush();
    return out;
}

WineRegFile::WineRegFile() {
    preamble_ = {std::string(kSignature), ";; All keys relative to \\\\Machine", ""};
}

WineRegFile::LoadStatus WineRegFile::Load(const std::string& path) {
    *this = WineRegFile();
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return LoadStatus::kMissing;
    if (!fs::is_regular_file(st)) return LoadStatus::kRefused;
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kWineRegFileMaxBytes) return LoadStatus::kRefused;
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (in.bad() || got > size) return LoadStatus::kRefused;
    text.resize(got);
    return Parse(text) ? LoadStatus::kLoaded : LoadStatus::kRefused;
}

bool WineRegFile::Parse(std::string_view text) {
    preamble_.clear();
    blocks_.clear();
    dirty_ = false;
    std::vector<std::string>* target = &preamble_;
    bool first = true;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        line = WithoutCarriageReturns(line);
        if (first) {
            if (line != kSignature) {
                *this = WineRegFile();
                return false;
            }
            first = false;
        }
        if (!line.empty() && line[0] == '[') {
            std::size_t close = ClosingQuote(line, 1, ']');
            Block block;
            block.path = Unescape(
                line.substr(1, (close == std::string_view::npos ? line.size() : close) - 1));
            block.lower = LowerAscii(block.path);
            block.header = std::string(line);
            blocks_.push_back(std::move(block));
            target = &blocks_.back().lines;
            continue;
        }
        std::string joined(line);
        // Long binary data goes on over lines ending in a backslash. What decides is kept
        // line by line: searching the whole joined value each time is quadratic.
        const bool hasEquals = line.find('=') != std::string_view::npos;
        bool hasQuotedValue = line.find("=\"") != std::string_view::npos;
        auto continues = [&] {
            return !joined.empty() && joined.back() == '\\' && joined[0] != '#' && hasEquals &&
                   !hasQuotedValue;
        };
        while (continues() && !text.empty()) {
            std::size_t next = text.find('\n');
            std::string_view more = text.substr(0, next);
            text.remove_prefix(next == std::string_view::npos ? text.size() : next + 1);
            more = WithoutCarriageReturns(more);
            hasQuotedValue = hasQuotedValue || more.find("=\"") != std::string_view::npos;
            joined += '\n';
            joined += more;
        }
        // A value cut off at the end of the file keeps an empty line after it, so a line
        // written after it later is not read back as part of it.
        if (continues()) joined += '\n';
        target->push_back(std::move(joined));
    }
    if (first) {
        *this = WineRegFile();
        return false;
    }
    Reindex();
    return true;
}

void WineRegFile::Reindex() {
    index_.clear();
    for (std::size_t i = 0; i < blocks_.size(); ++i) index_.try_emplace(blocks_[i].lower, i);
}

const WineRegFile::Block* WineRegFile::Find(std::string_view path) const {
    std::optional<std::string> lower = NormalizedKeyPath(path);
    if (!lower) return nullptr;
    auto it = index_.find(*lower);
    return it == index_.end() ? nullptr : &blocks_[it->second];
}

bool WineRegFile::KeyExists(std::string_view path) const {
    std::optional<std::string> lower = NormalizedKeyPath(path);
    if (!lower) return false;
    if (lower->empty() || index_.count(*lower) != 0) return true;
    const std::string below = *lower + "\\";
    auto first = index_.lower_bound(below);
    return first != index_.end() && first->first.compare(0, below.size(), below) == 0;
}

std::optional<RegValue> WineRegFile::ReadValue(std::string_view path, std::string_view name) const {
    const Block* block = Find(path);
    if (!block) return std::nullopt;
    for (const std::string& line : block->lines) {
        std::optional<ValueLine> value = SplitValueLine(line);
        if (value && EqualsNoCase(value->name, name)) return ParseData(value->data);
    }
    return std::nullopt;
}

WineRegFile::Block& WineRegFile::Append(const std::string& path) {
    std::vector<std::string>& last = blocks_.empty() ? preamble_ : blocks_.back().lines;
    if (!last.empty() && !IsBlank(last.back())) last.emplace_back();
    Block block;
    block.path = path;
    block.lower = LowerAscii(path);
    std::string escaped;
    std::size_t start = 0;
    while (true) {
        std::size_t sep = path.find('\\', start);
        escaped += Escape(path.substr(start, sep - start), "[]");
        if (sep == std::string::npos) break;
        escaped += "\\\\";
        start = sep + 1;
    }
    const std::time_t now = std::time(nullptr);
    const unsigned long long fileTime =
        (static_cast<unsigned long long>(now) + 11644473600ull) * 10000000ull;
    char buf[64];
    std::snprintf(buf, sizeof buf, "] %lld", static_cast<long long>(now));
    block.header = "[" + escaped + buf;
    std::snprintf(buf, sizeof buf, "#time=%llx", fileTime);
    block.lines.emplace_back(buf);
    index_.try_emplace(block.lower, blocks_.size());
    blocks_.push_back(std::move(block));
    dirty_ = true;
    return blocks_.back();
}

bool WineRegFile::CreateKey(std::string_view path) {
    if (path.empty() || !NormalizedKeyPath(path)) return false;
    if (!KeyExists(path)) Append(std::string(path));
    return true;
}

bool WineRegFile::SetValue(std::string_view path, std::string_view name, const RegValue& value) {
    if (path.empty() || !NormalizedKeyPath(path) || value.type == RegValueType::kOther)
        return false;
    const Block* found = Find(path);
    Block& block = found ? blocks_[static_cast<std::size_t>(found - blocks_.data())]
                         : Append(std::string(path));
    const auto lineFor = [&](std::string_view spelled) {
        return (spelled.empty() ? std::string("@") : "\"" + Escape(spelled, "\"") + "\"") + "=" +
               DataText(value);
    };
    std::size_t at = 0;
    for (std::size_t i = 0; i < block.lines.size(); ++i) {
        std::optional<ValueLine> existing = SplitValueLine(block.lines[i]);
        if (existing && EqualsNoCase(existing->name, name)) {
            // The value keeps the spelling of its name.
            block.lines[i] = lineFor(existing->name);
            dirty_ = true;
            return true;
        }
        if (!IsBlank(block.lines[i])) at = i + 1;
    }
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(at), lineFor(name));
    dirty_ = true;
    return true;
}

void WineRegFile::DeleteTree(std::string_view path) {
    std::optional<std::string> lower = NormalizedKeyPath(path);
    if (!lower || lower->empty()) return;
    const std::string below = *lower + "\\";
    std::size_t before = blocks_.size();
    std::erase_if(blocks_, [&](const Block& b) {
        return b.lower == *lower || b.lower.compare(0, below.size(), below) == 0;
    });
    if (blocks_.size() != before) {
        dirty_ = true;
        Reindex();
    }
}

std::string WineRegFile::Text() const {
    std::string text;
    for (const std::string& line : preamble_) text += line + "\n";
    for (const Block& block : blocks_) {
        text += block.header + "\n";
        for (const std::string& line : block.lines) text += line + "\n";
    }
    return text;
}

bool WineRegFile::Save(const std::string& path) const {
    return ReplaceFileContents(path, Text());
}

}  // namespace kestrava

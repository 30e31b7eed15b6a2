#include "session/ReportFile.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/CAnalysisHost.h"
#include "base/Guard.h"
#include "base/HexText.h"
#include "base/ListBox.h"
#include "base/MessageBox.h"

namespace kestrava {
namespace {

const char* const kSource = "CSataUserInterface";
const char* const kReportPrefix = "Decoded output from file: ";
constexpr std::size_t kColumnWidth = 50;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string PaddedTo(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

struct EarlierReport {
    std::string title;
    std::vector<std::int64_t> positions;
    std::vector<std::string> texts;
    std::int64_t gap = 0x100000;
};

// The hexadecimal position after "0x": the item data written as "0x%08x", so 32 bits at
// most; anything else reads as 0.
std::int64_t PositionOf(const std::string& line) {
    std::uint32_t position = 0;
    if (line.size() > 2) std::from_chars(line.data() + 2, line.data() + line.size(), position, 16);
    return position;
}

// Holds the earlier report's lines with their positions and finds the smallest positive
// step between positions: the tolerance within which two lines count as the same place.
bool ReadEarlierReport(std::FILE* in, EarlierReport& report) {
    std::string line;
    ReportFile::ReadFileLine(in, line);
    if (line.compare(0, 7, "Decoded") != 0) return false;
    report.title = line.size() > 26 ? line.substr(26, ReportFile::kMaxTitle) : "";
    ReportFile::ReadFileLine(in, line);
    std::int64_t previous = 0;
    bool more = true;
    while (more) {
        more = ReportFile::ReadFileLine(in, line);
        if (!more && line.empty()) break;
        std::int64_t position = PositionOf(line);
        std::int64_t step = position - previous;
        if (step > 0 && step < report.gap && report.positions.size() >= 2) report.gap = step;
        previous = position;
        if (line.size() < 15 || report.positions.size() >= ReportFile::kMaxKeptLines) continue;
        report.positions.push_back(position);
        report.texts.push_back(line.substr(13));
    }
    return true;
}

std::string MergedText(const IListBox& list, const std::string& title,
                       const EarlierReport& earlier) {
    std::string out = "Merged output.\r\n\r\n";
    out += PaddedTo(" File " + earlier.title, kColumnWidth) + " File " + title + "\r\n";
    out += std::string(100, '-') + "\r\n";
    std::size_t k = 0;
    const std::size_t kept = earlier.positions.size();
    for (int j = 0; j < list.Count(); ++j) {
        std::string text = list.Text(j);
        if (text.size() <= 3) continue;
        std::int64_t a = static_cast<std::uint32_t>(list.Data(j));
        while (k < kept && earlier.positions[k] < a) out += earlier.texts[k++] + "\r\n";
        if (k < kept && earlier.positions[k] < a + earlier.gap)
            out += PaddedTo(earlier.texts[k++], kColumnWidth);
        else
            out += std::string(kColumnWidth, ' ');
        out += text + "\r\n";
    }
    for (; k < kept; ++k) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix,
                      "0x%06lx:", static_cast<unsigned long>(earlier.positions[k]));
        out += prefix + earlier.texts[k] + "\r\n";
    }
    return out;
}

bool WriteWhole(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

// Writes beside the target and renames over it, so the target is either the old file
// or the whole new one.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".merging";
    File out(std::fopen(temporary.c_str(), "wb"));
    if (!out) return false;
    bool written = WriteWhole(out.get(), text);
    written = std::fclose(out.release()) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool ReportFile::ReadFileLine(std::FILE* file, std::string& line) {
    line.clear();
    return GuardOr(false, kSource, "ReadFileLine", [&] {
        int c;
        while ((c = std::getc(file)) != EOF) {
            if (c == '\r') {
                std::getc(file);
                return true;
            }
            if (c >= 14 && c <= 127 && line.size() < kLineBuffer - 1)
                line.push_back(static_cast<char>(c));
        }
        return false;
    });
}

std::string ReportFile::Format(const IListBox& list, const std::string& title) {
    std::string text = std::string(kReportPrefix) + title + ".\r\n\r\n";
    const int count = list.Count();
    // Lines are short: a first guess of the size spares most of the regrowth.
    text.reserve(text.size() + static_cast<std::size_t>(count) * 48);
    for (int i = 0; i < count; ++i) {
        AppendPositionTag(text, static_cast<std::uint32_t>(list.Data(i)));
        text += list.Text(i);
        text += "\r\n";
    }
    return text;
}

bool ReportFile::SaveToFile(const IListBox& list, const std::string& title, const std::string& path,
                            CAnalysisHost& host) {
    bool saved = false;
    Guard(kSource, "SaveToFile", [&] {
        File out(std::fopen(path.c_str(), "wb"));
        if (out) {
            saved = WriteWhole(out.get(), Format(list, title));
            saved = std::fclose(out.release()) == 0 && saved;
        }
        if (saved) {
            host.DisplayMessage("Decoded output saved.", kShow);
            ShowMessageBox("Decoded output saved");
        } else {
            host.DisplayMessage("Decoded output NOT saved!", kShow);
            ShowMessageBox("Unable to open this file for writing!");
        }
    });
    return saved;
}

bool ReportFile::MergeFile(const IListBox& list, const std::string& title, const std::string& path,
                           CAnalysisHost& host) {
    bool merged = false;
    Guard(kSource, "MergeFile", [&] {
        EarlierReport earlier;
        bool readable = false, recognised = false;
        {
            File in(std::fopen(path.c_str(), "rb"));
            readable = in != nullptr;
            recognised = readable && ReadEarlierReport(in.get(), earlier);
        }
        if (readable && !recognised) {
            host.DisplayMessage("File in incorrect format", kShow);
            ShowMessageBox("Please select a previously generated analyser file.");
            return;
        }
        if (readable) host.DisplayMessage("Previous file read into memory", kShow);
        merged = readable && ReplaceFile(path, MergedText(list, title, earlier));
        if (merged) {
            host.DisplayMessage("Merged output saved.", kShow);
            ShowMessageBox("Merging complete");
        } else {
            host.DisplayMessage("Merging NOT completed sucessfully", kShow);
            ShowMessageBox("Unable to open this file for merging!");
        }
    });
    return merged;
}

}  // namespace kestrava

#include "session/ReportFile.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "base/CAnalysisHost.h"
#include "base/FileReplacement.h"
#include "base/Guard.h"
#include "base/HexText.h"
#include "base/ListBox.h"
#include "base/MessageBox.h"
#include "base/RegularFile.h"

namespace kestrava {
namespace {

const char* const kSource = "CSataUserInterface";
const char* const kReportPrefix = "Decoded output from file: ";
constexpr std::size_t kColumnWidth = 50;
// How long a merge waits for another one into the same report to finish.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr int kOpenAttempts = 5;
// How often, in lines, the read checks that the report has not grown past the bound.
constexpr std::size_t kGrowthCheckLines = 4096;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void AppendPadded(std::string& out, std::string_view text, std::size_t width) {
    out += text;
    if (text.size() < width) out.append(width - text.size(), ' ');
}

struct EarlierReport {
    std::string title;
    std::vector<std::int64_t> positions;
    // The kept lines' texts one after another; text k ends at ends[k].
    std::string texts;
    std::vector<std::size_t> ends;
    std::int64_t gap = 0x100000;

    std::string_view Text(std::size_t k) const {
        const std::size_t begin = k == 0 ? 0 : ends[k - 1];
        return std::string_view(texts).substr(begin, ends[k] - begin);
    }
};

enum class ReadResult { kRead, kNotAReport, kTooLarge, kFailed };

// The hexadecimal position after "0x": the item data written as "0x%08x", so 32 bits at
// most; anything else reads as 0.
std::int64_t PositionOf(const std::string& line) {
    std::uint32_t position = 0;
    if (line.size() > 2) std::from_chars(line.data() + 2, line.data() + line.size(), position, 16);
    return position;
}

bool GrewTooLarge(std::FILE* in) {
    const long at = std::ftell(in);
    return at > 0 && static_cast<std::uint64_t>(at) > ReportFile::kMaxReportBytes;
}

// Holds the earlier report's lines with their positions and finds the smallest positive
// step between positions: the tolerance within which two lines count as the same place.
ReadResult ReadEarlierReport(std::FILE* in, EarlierReport& report) {
    std::string line;
    ReportFile::ReadFileLine(in, line);
    if (line.compare(0, 7, "Decoded") != 0)
        return std::ferror(in) ? ReadResult::kFailed : ReadResult::kNotAReport;
    report.title = line.size() > 26 ? line.substr(26, ReportFile::kMaxTitle) : "";
    ReportFile::ReadFileLine(in, line);
    std::int64_t previous = 0;
    bool more = true;
    for (std::size_t count = 1; more; ++count) {
        more = ReportFile::ReadFileLine(in, line);
        if (!more && line.empty()) break;
        if (count % kGrowthCheckLines == 0 && GrewTooLarge(in)) return ReadResult::kTooLarge;
        std::int64_t position = PositionOf(line);
        std::int64_t step = position - previous;
        if (step > 0 && step < report.gap && report.positions.size() >= 2) report.gap = step;
        previous = position;
        if (line.size() < 15) continue;
        report.positions.push_back(position);
        report.texts.append(line, 13);
        report.ends.push_back(report.texts.size());
    }
    if (std::ferror(in)) return ReadResult::kFailed;
    return GrewTooLarge(in) ? ReadResult::kTooLarge : ReadResult::kRead;
}

std::string MergedText(const IListBox& list, const std::string& title,
                       const EarlierReport& earlier) {
    std::string out = "Merged output.\r\n\r\n";
    AppendPadded(out, " File " + earlier.title, kColumnWidth);
    out += " File " + title + "\r\n";
    out += std::string(100, '-') + "\r\n";
    std::size_t k = 0;
    const std::size_t kept = earlier.positions.size();
    for (int j = 0; j < list.Count(); ++j) {
        std::string text = list.Text(j);
        if (text.size() <= 3) continue;
        std::int64_t a = static_cast<std::uint32_t>(list.Data(j));
        for (; k < kept && earlier.positions[k] < a; ++k) (out += earlier.Text(k)) += "\r\n";
        if (k < kept && earlier.positions[k] < a + earlier.gap)
            AppendPadded(out, earlier.Text(k++), kColumnWidth);
        else
            out.append(kColumnWidth, ' ');
        out += text + "\r\n";
    }
    for (; k < kept; ++k) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix,
                      "0x%06lx:", static_cast<unsigned long>(earlier.positions[k]));
        ((out += prefix) += earlier.Text(k)) += "\r\n";
    }
    return out;
}

// Takes the report's lock, waiting while another merge holds it. Where the file system
// has no locks the merge goes on: the check before the rename still guards it.
bool WaitForLock(int fd) {
    const auto end = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool StillNamedBy(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Opens the report, a regular file only, and takes its lock for the read-merge-rename:
// two merges into one report take turns, and the second then reads the first one's merged
// output, which it refuses. A report replaced while we waited is opened again.
std::unique_ptr<RegularFile> OpenLocked(const std::string& path, std::string& refusal) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        auto file = std::make_unique<RegularFile>(path);
        if (!file->IsOpen()) {
            if (file->Error() == 0) refusal = file->Reason();  // there, but no regular file
            return nullptr;
        }
        if (!WaitForLock(file->Fd())) {
            refusal = "another merge into it has not finished";
            return nullptr;
        }
        if (StillNamedBy(file->Fd(), path)) return file;
    }
    refusal = "another program keeps replacing it";
    return nullptr;
}

ReadResult ReadLocked(const RegularFile& report, EarlierReport& earlier) {
    // A descriptor of its own for the stream: closing it leaves the lock held.
    const int fd = ::dup(report.Fd());
    File in(fd >= 0 ? ::fdopen(fd, "rb") : nullptr);
    if (!in) {
        if (fd >= 0) ::close(fd);
        return ReadResult::kFailed;
    }
    return ReadEarlierReport(in.get(), earlier);
}

enum class MergeOutcome { kMerged, kNotAReport, kFailed };

MergeOutcome MergeInto(const IListBox& list, const std::string& title, const std::string& path,
                       CAnalysisHost& host, std::string& refusal) {
    const std::unique_ptr<RegularFile> report = OpenLocked(path, refusal);
    if (!report) return MergeOutcome::kFailed;
    FileReplacement::Identity identity;
    if (!FileReplacement::IdentityOf(report->Fd(), identity)) return MergeOutcome::kFailed;
    EarlierReport earlier;
    const ReadResult read = static_cast<std::uint64_t>(report->Size()) > ReportFile::kMaxReportBytes
                                ? ReadResult::kTooLarge
                                : ReadLocked(*report, earlier);
    if (read == ReadResult::kNotAReport) return MergeOutcome::kNotAReport;
    if (read == ReadResult::kTooLarge) refusal = "larger than 1024 MiB, more than a merge holds";
    if (read != ReadResult::kRead) return MergeOutcome::kFailed;
    host.DisplayMessage("Previous file read into memory", kShow);
    const FileReplacement::Outcome written =
        FileReplacement::Write(path, MergedText(list, title, earlier), &identity);
    refusal = written.refusal;
    return written.written ? MergeOutcome::kMerged : MergeOutcome::kFailed;
}

// The usual failure text, and after it, for a refusal, the file and the reason.
void ShowFailure(CAnalysisHost& host, const char* status, const std::string& box,
                 const std::string& path, const std::string& refusal) {
    host.DisplayMessage(status, kShow);
    if (refusal.empty()) {
        ShowMessageBox(box);
        return;
    }
    host.DisplayMessage(path + ": " + refusal, kShow);
    ShowMessageBox(box + "\n" + path + ": " + refusal);
}

}  // namespace

bool ReportFile::ReadFileLine(std::FILE* file, std::string& line) {
    line.clear();
    return GuardOr(false, kSource, "ReadFileLine", [&] {
        int c;
        while ((c = std::getc(file)) != EOF) {
            if (c == '\n') return true;
            if (c == '\r') {
                const int next = std::getc(file);
                if (next != '\n' && next != EOF) std::ungetc(next, file);
                return true;
            }
            if (c >= 14 && c <= 127) line.push_back(static_cast<char>(c));
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

std::string ReportFile::ListText(const IListBox& list) {
    std::string text;
    const int count = list.Count();
    text.reserve(static_cast<std::size_t>(count) * 48);
    for (int i = 0; i < count; ++i) {
        AppendPositionTag(text, static_cast<std::uint32_t>(list.Data(i)));
        text += list.Text(i);
        text += '\n';
    }
    return text;
}

bool ReportFile::SaveToFile(const IListBox& list, const std::string& title, const std::string& path,
                            CAnalysisHost& host, const std::string& waveformPath) {
    FileReplacement::Outcome outcome;
    Guard(kSource, "SaveToFile", [&] {
        if (!waveformPath.empty() && FileReplacement::SameFile(path, waveformPath))
            outcome.refusal = "it is the waveform file that was decoded";
        else
            outcome = FileReplacement::Write(path, Format(list, title));
    });
    Guard(kSource, "SaveToFile", [&] {
        if (outcome.written) {
            host.DisplayMessage("Decoded output saved.", kShow);
            ShowMessageBox("Decoded output saved");
        } else {
            ShowFailure(host, "Decoded output NOT saved!", "Unable to open this file for writing!",
                        path, outcome.refusal);
        }
    });
    return outcome.written;
}

bool ReportFile::MergeFile(const IListBox& list, const std::string& title, const std::string& path,
                           CAnalysisHost& host) {
    MergeOutcome outcome = MergeOutcome::kFailed;
    std::string refusal;
    Guard(kSource, "MergeFile", [&] { outcome = MergeInto(list, title, path, host, refusal); });
    Guard(kSource, "MergeFile", [&] {
        if (outcome == MergeOutcome::kNotAReport) {
            host.DisplayMessage("File in incorrect format", kShow);
            ShowMessageBox("Please select a previously generated analyser file.");
        } else if (outcome == MergeOutcome::kMerged) {
            host.DisplayMessage("Merged output saved.", kShow);
            ShowMessageBox("Merging complete");
        } else {
            ShowFailure(host, "Merging NOT completed sucessfully",
                        "Unable to open this file for merging!", path, refusal);
        }
    });
    return outcome == MergeOutcome::kMerged;
}

}  // namespace kestrava

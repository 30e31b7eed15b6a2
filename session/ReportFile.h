// Decode reports: the characters list written as text with each line's sample position,
// and the two-column merge of an earlier report with the current list.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrava {

class CAnalysisHost;
class IListBox;

class ReportFile {
  public:
    static constexpr std::size_t kMaxTitle = 199;
    // A merge holds the earlier report whole, and the merged one beside it: a larger
    // report is refused.
    static constexpr std::uint64_t kMaxReportBytes = std::uint64_t{1} << 30;

    // Writes "Decoded output from file: TITLE.", an empty line, then one
    // "0x%08x:  TEXT" line per list line. Reports the outcome in the status box and a
    // message box. Returns true when the whole report was written. The report is written
    // beside the file and renamed over it (FileReplacement); it never replaces the
    // waveform file it was decoded from.
    static bool SaveToFile(const IListBox& list, const std::string& title, const std::string& path,
                           CAnalysisHost& host, const std::string& waveformPath = {});

    // Merges the report at path with the current list into a two-column comparison and
    // puts it in place of the report. The report is locked from the read to the rename, so
    // two merges into it take turns; the result is written beside it and renamed over it
    // only while the report is still the one read, so a failure leaves it as it was.
    static bool MergeFile(const IListBox& list, const std::string& title, const std::string& path,
                          CAnalysisHost& host);

    // Reads one line: a line feed, a carriage return and line feed, or a carriage return
    // alone ends it; only bytes 14..127 are kept. True when a line end was seen, false when
    // the file ended first.
    static bool ReadFileLine(std::FILE* file, std::string& line);

    // The report text itself, as SaveToFile writes it.
    static std::string Format(const IListBox& list, const std::string& title);
    // A list as the command line prints it: each line after its position tag, LF ends.
    static std::string ListText(const IListBox& list);
};

}  // namespace kestrava

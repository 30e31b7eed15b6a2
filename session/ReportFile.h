// Decode reports: the characters list written as text with each line's sample position,
// and the two-column merge of an earlier report with the current list.
#pragma once

#include <cstdio>
#include <string>

namespace kestrava {

class CAnalysisHost;
class IListBox;

class ReportFile {
  public:
    static constexpr std::size_t kMaxKeptLines = 200000;
    static constexpr std::size_t kLineBuffer = 400;
    static constexpr std::size_t kMaxTitle = 199;

    // Writes "Decoded output from file: TITLE.", an empty line, then one
    // "0x%08x:  TEXT" line per list line. Reports the outcome in the status box and a
    // message box. Returns true when the whole report was written.
    static bool SaveToFile(const IListBox& list, const std::string& title, const std::string& path,
                           CAnalysisHost& host);

    // Merges the report at path with the current list into a two-column comparison and
    // puts it in place of the report. The result is written beside it first, so a failure
    // leaves the earlier report as it was.
    static bool MergeFile(const IListBox& list, const std::string& title, const std::string& path,
                          CAnalysisHost& host);

    // Reads one line: a carriage return ends it and the byte after it is dropped; only
    // bytes 14..127 are kept, at most kLineBuffer - 1 of them. True when a carriage
    // return was seen, false when the file ended first.
    static bool ReadFileLine(std::FILE* file, std::string& line);

    // The report text itself, as SaveToFile writes it.
    static std::string Format(const IListBox& list, const std::string& title);
};

}  // namespace kestrava

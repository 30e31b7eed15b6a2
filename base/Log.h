// The diagnostic log: one line per entry, opened, appended and closed each time, so an
// outside viewer may keep it open and a crash loses nothing already written.
#pragma once

#include <string>

namespace kestrava {

inline constexpr int kLogError = 0;
inline constexpr int kLogInfo = 2;

}  // namespace kestrava

// Appends one entry "dd-mm-YYYY, HH:MM:SS :: ERROR  >>source::message\r\n" (level 0) or
// with ":: INFO  >>" (level 2). Other levels write nothing; a missing folder loses the
// entry silently. Never throws.
void WriteLog(std::string source, std::string message, int level);

// Removes the log of the previous run; called once at program start.
void DeleteLog();

#include "base/Log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "base/Folders.h"

namespace {

std::string FormatEntry(const std::string& source, const std::string& message, int level) {
    const char* tag = level == kestrava::kLogError ? ":: ERROR  >>" : ":: INFO  >>";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%d-%m-%Y, %H:%M:%S ", &local);
    std::string line = stamp;
    line += tag;
    line += source;
    line += "::";
    line += message;
    line += "\r\n";
    return line;
}

// One write per entry with O_APPEND keeps concurrent readers and writers consistent.
void AppendLine(const std::string& path, const std::string& line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0) break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace

void WriteLog(std::string source, std::string message, int level) {
    if (level != kestrava::kLogError && level != kestrava::kLogInfo) return;
    try {
        AppendLine(kestrava::Folders::LogFilePath(), FormatEntry(source, message, level));
    } catch (...) {
        // The log is the last resort; losing an entry must not disturb the caller.
    }
}

void DeleteLog() {
    try {
        std::remove(kestrava::Folders::LogFilePath().c_str());
    } catch (...) {
    }
}

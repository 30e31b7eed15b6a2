#include "session/StandardSelection.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/Folders.h"
#include "definition/CMacros.h"
#include "session/TriggerSetup.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr const char* kDefaultPattern = "K28.5";
constexpr const char* kExtension = ".csv";

std::string UserPatternPath(const std::string& title) {
    return Folders::Join(Folders::DataFolder("UserPattern"), title + kExtension);
}

// Reads one byte past the limit: that byte tells a file over the limit from one at it.
std::vector<std::string> ReadPatterns(std::ifstream& in) {
    std::vector<std::string> patterns;
    std::string text(StandardSelection::kMaxPatternFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto length = static_cast<std::size_t>(in.gcount());
    if (length > StandardSelection::kMaxPatternFileBytes) return patterns;
    const auto blank = [&text](std::size_t i) {
        return std::isspace(static_cast<unsigned char>(text[i])) != 0;
    };
    std::size_t i = 0;
    while (i < length && patterns.size() < StandardSelection::kMaxPatterns) {
        while (i < length && blank(i)) ++i;
        const std::size_t start = i;
        while (i < length && !blank(i)) ++i;
        if (i > start && i - start <= StandardSelection::kMaxPatternLength)
            patterns.push_back(text.substr(start, i - start));
    }
    return patterns;
}

}  // namespace

void StandardSelection::Refresh() {
    titles_.clear();
    std::error_code ec;
    for (fs::directory_iterator it(Folders::DataFolder("Macros"), ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string title = path.stem().string();
        if (path.extension() == kExtension && !title.empty() && title.front() != '.' &&
            it->is_regular_file(ec))
            titles_.push_back(title);
    }
    std::sort(titles_.begin(), titles_.end());
}

std::string StandardSelection::Title(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < titles_.size()
               ? titles_[static_cast<std::size_t>(index)]
               : std::string();
}

int StandardSelection::IndexOf(const std::string& title) const {
    auto found = std::find(titles_.begin(), titles_.end(), title);
    return found != titles_.end() ? static_cast<int>(found - titles_.begin()) : -1;
}

int StandardSelection::DefaultIndex() const {
    if (const int sata = IndexOf("Sata"); sata >= 0) return sata;
    const int count = static_cast<int>(titles_.size());
    return count >= 2 ? 1 : count - 1;
}

int StandardSelection::SavedIndexOf(int index) const {
    const std::string title = Title(index);
    for (int shipped = 0; shipped < static_cast<int>(std::size(kShippedTitles)); ++shipped)
        if (!title.empty() && title == kShippedTitles[shipped]) return shipped;
    return index;
}

int StandardSelection::IndexOfSaved(int savedIndex) const {
    if (savedIndex >= 0 && savedIndex < static_cast<int>(std::size(kShippedTitles)))
        if (const int listed = IndexOf(kShippedTitles[savedIndex]); listed >= 0) return listed;
    return savedIndex >= 0 && static_cast<std::size_t>(savedIndex) < titles_.size() ? savedIndex
                                                                                    : -1;
}

std::string StandardSelection::DefinitionPath(const std::string& title) {
    return Folders::Join(Folders::DataFolder("Macros"), title + kExtension);
}

std::vector<std::string> StandardSelection::UserPatterns(const std::string& title) {
    const std::string path = UserPatternPath(title);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_regular_file(status)) {
        std::ifstream in(path, std::ios::binary);
        if (in) return ReadPatterns(in);
    }
    // Only a missing or unreadable regular file is written: a pipe or a folder in its
    // place is left alone.
    if (status.type() == fs::file_type::not_found || fs::is_regular_file(status)) {
        fs::create_directories(Folders::DataFolder("UserPattern"), ec);
        std::ofstream(path, std::ios::binary) << kDefaultPattern;
    }
    return {kDefaultPattern};
}

bool StandardSelection::LoadDefinition(const std::string& title, double maximumBitRate) {
    CMacros* macros = TheMacros();
    if (!macros) return false;
    macros->LoadMacros(DefinitionPath(title));
    return BitRateWithinMaximum(macros, maximumBitRate);
}

}  // namespace kestrava

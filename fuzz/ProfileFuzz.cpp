// Setup (".ini") files: parsed, looked up, written one key at a time and read back.
// Input: the file's text, then optionally NUL, section, NUL, key, NUL, value for a write.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ProfileFile.h"
#include "fuzz/FuzzSupport.h"

using namespace kestrava;

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string_view NextPart(std::string_view& rest) {
    std::size_t nul = rest.find('\0');
    std::string_view part = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view{} : rest.substr(nul + 1);
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view text = NextPart(rest);
    const std::string_view section = rest.empty() ? "Main" : NextPart(rest);
    const std::string_view key = rest.empty() ? "Source" : NextPart(rest);
    const std::string_view value = rest;

    ProfileFile profile(text);
    profile.Get(section, key);
    profile.Get("Trigger", "EditMode");
    if (profile.Set(section, key, value)) {
        std::optional<std::string> got = profile.Get(section, key);
        fuzz::Check(got && *got == Trimmed(value), "a written key does not read back");
        ProfileFile again(profile.Text());
        std::optional<std::string> reread = again.Get(section, key);
        fuzz::Check(reread && *reread == Trimmed(value), "a written key does not survive the text");
        fuzz::Check(again.Text() == profile.Text(), "the text of a profile is not stable");
    }

    // The file functions the setup commands use.
    const std::string path = fuzz::WriteInputFile(
        reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), "setup.ini");
    const std::string read = ReadProfileString(path, section, key, "fallback");
    fuzz::Check(read.size() <= kProfileValueMax, "a value read longer than its buffer");
    if (WriteProfileString(path, section, key, value)) {
        const std::string back = ReadProfileString(path, section, key, "");
        fuzz::Check(back == Trimmed(value).substr(0, kProfileValueMax),
                    "a value written to the file does not read back");
    }
    return 0;
}

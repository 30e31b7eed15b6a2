// Registry files of a Wine prefix (system.reg, user.reg): parsed, written back, looked
// up and changed. Input: the file's text; its last bytes also steer a value written.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "visacheck/WineRegFile.h"

using namespace kestrava;

namespace {

constexpr std::string_view kKeys[] = {
    "Software\\Brennock\\UlmarScope",
    "Software\\Classes\\CLSID",
    "Software\\National Instruments\\NI-VISA for Windows 95/NT\\CurrentVersion",
    "Software\\brennock\\ULMARVISA\\2.0",
    "",
    "A\\\\B",
};

// A printable value from the input's tail, so the escaping must carry it back unchanged.
std::string PrintableTail(std::string_view text) {
    std::string value;
    for (std::size_t i = text.size() > 24 ? text.size() - 24 : 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 0x20 && c < 0x7f) value += c;
    }
    return value;
}

bool EndsInContinuation(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return !text.empty() && text.back() == '\\';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    WineRegFile file;
    if (!file.Parse(text)) {
        fuzz::Check(file.KeyCount() == 0, "a refused file left keys behind");
        return 0;
    }
    const std::string written = file.Text();
    WineRegFile again;
    fuzz::Check(again.Parse(written), "written text is not a registry file");
    fuzz::Check(again.Text() == written, "written text does not read back the same");
    fuzz::Check(again.KeyCount() == file.KeyCount(), "written text changes the key count");

    for (std::string_view key : kKeys) {
        file.KeyExists(key);
        file.ReadValue(key, "InstallPath");
        file.ReadValue(key, "");
    }

    const std::string value = PrintableTail(text);
    const std::string_view key = kKeys[size % 4];
    const std::string name = value.substr(0, value.size() / 2);
    if (file.SetValue(key, name, RegValue::String(value))) {
        std::optional<RegValue> got = file.ReadValue(key, name);
        fuzz::Check(got && got->type == RegValueType::kString && got->text == value,
                    "a value set does not read back");
        WineRegFile saved;
        fuzz::Check(saved.Parse(file.Text()), "a changed file is no longer a registry file");
        // Known and reported: a file cut short inside a continued value ("...\" as its last
        // line) swallows the line written after it when read again.
        if (!EndsInContinuation(text)) {
            std::optional<RegValue> reread = saved.ReadValue(key, name);
            fuzz::Check(reread && reread->text == value,
                        "a value set does not survive writing back");
        }
    }
    if (file.SetValue(key, "Platform", RegValue::Dword(static_cast<std::uint32_t>(size)))) {
        std::optional<RegValue> dword = file.ReadValue(key, "Platform");
        fuzz::Check(dword && dword->type == RegValueType::kDword && dword->dword == size,
                    "a dword set does not read back");
    }
    file.DeleteTree(kKeys[0]);
    fuzz::Check(!file.KeyExists(kKeys[0]) || !file.ReadValue(kKeys[0], "Platform"),
                "a deleted key still holds values");

    WineRegFile::Unescape(text.substr(text.size() > 64 ? text.size() - 64 : 0));
    fuzz::Check(WineRegFile::Unescape(WineRegFile::Escape(value, "\"")) == value,
                "escaping does not reverse");
    return 0;
}

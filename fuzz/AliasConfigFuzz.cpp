// The VISA alias configuration file and the resource names it holds.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "visa/Aliases.h"
#include "visa/ResourceName.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    visa::AliasConfig config = visa::ParseAliasConfig(text, "visa.conf");
    fuzz::Check(config.aliases.size() <= visa::kMaxAliases, "more aliases than allowed");
    for (const auto& [name, address] : config.aliases) {
        fuzz::Check(!name.empty() && name.size() <= visa::kMaxAliasNameBytes,
                    "alias name out of bounds");
        std::optional<visa::SocketAddress> parsed = visa::ParseSocketResource(address);
        fuzz::Check(parsed.has_value(), "an accepted alias address does not parse");
        fuzz::Check(visa::FormatSocketResource(*parsed) == address,
                    "an alias address is not canonical");
    }

    // Each line on its own as a resource name, as viOpen would see it.
    std::size_t start = 0;
    for (int lines = 0; start <= text.size() && lines < 64; ++lines) {
        std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (std::optional<visa::SocketAddress> address = visa::ParseSocketResource(line)) {
            std::string canonical = visa::FormatSocketResource(*address);
            std::optional<visa::SocketAddress> again = visa::ParseSocketResource(canonical);
            fuzz::Check(again && visa::FormatSocketResource(*again) == canonical,
                        "a canonical resource name does not parse to itself");
        }
        visa::HasResourceSyntax(line);
        visa::IsInstrResource(line);
        visa::UpperAscii(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }

    const std::string path = fuzz::WriteInputFile(data, size, "visa.conf");
    visa::AliasConfig loaded = visa::LoadAliasConfig(path);
    if (size <= visa::kMaxConfigBytes)
        fuzz::Check(loaded.aliases == config.aliases, "the file and the text parse differently");
    return 0;
}

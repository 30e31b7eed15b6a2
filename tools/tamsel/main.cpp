// tamsel: prints what the Tamsel library says about the connected instrument, for
// installation scripts.
#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "base/PrintableOutput.h"
#include "scopeid/tamsel.h"
#if !defined(KESTRAVA_VENDOR_VISA)
#include "visa/kvext.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: tamsel [--list FILE] [--value N]\n"
    "\n"
    "Asks the instrument at the VISA resource GPIB8::1::INSTR for its identity through the\n"
    "Tamsel library. Prints the address the resource stands for (Resource: ...), then one\n"
    "line per export:\n"
    "  IsScope: N             the value given with --value (default 1), unchanged\n"
    "  GetScopeDesc: CODE     the model code; -1 no known oscilloscope family, or no\n"
    "                         instrument, or no answer within 5 s; 0 no VISA\n"
    "  IsScopeSupported: R    with --list: 1 the model is listed in FILE, 0 it is not,\n"
    "                         -1 no instrument or no answer, -2 FILE cannot be opened\n"
    "\n"
    "GPIB8::1::INSTR stands for TCPIP0::localhost::4000::SOCKET unless the VISA alias file\n"
    "($XDG_CONFIG_HOME/kestrava/visa.conf) says otherwise, e.g.\n"
    "  GPIB8::1::INSTR = TCPIP0::192.0.2.5::4000::SOCKET\n"
    "The exit status is 0 whatever the instrument answers, 2 for a usage error.\n";

int Usage(const std::string& message) {
    std::cerr << "tamsel: " << message << "\n(see tamsel --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Instrument replies and file names are echoed: never let them drive the terminal.
    const kestrava::PrintableStandardStreams printable;
    std::optional<std::string> list;
    int32_t value = 1;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--list" && i + 1 < argc) {
            list = argv[++i];
        } else if (arg == "--value" && i + 1 < argc) {
            std::string_view text = argv[++i];
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec != std::errc() || end != text.data() + text.size())
                return Usage("--value needs an integer");
        } else {
            return Usage("unknown or incomplete option \"" + std::string(arg) + "\"");
        }
    }
#if !defined(KESTRAVA_VENDOR_VISA)
    char address[VI_FIND_BUFLEN];
    if (kvResolveResource("GPIB8::1::INSTR", address) == VI_SUCCESS)
        std::cout << "Resource: GPIB8::1::INSTR = " << address << '\n';
#endif
    std::cout << "IsScope: " << IsScope(value) << '\n';
    std::cout << "GetScopeDesc: " << GetScopeDesc() << '\n';
    if (list) std::cout << "IsScopeSupported: " << IsScopeSupported(list->c_str()) << '\n';
    return 0;
}

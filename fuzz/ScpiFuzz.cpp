// Program messages received by the oscilloscope simulator from the network: the parser's
// pieces, then whole messages run by a fresh simulated instrument, one per input line.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "tools/kestrava-scopesim/ScopeModel.h"
#include "tools/kestrava-scopesim/ScpiParser.h"

using namespace kestrava;
using namespace kestrava::scopesim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const std::string& unitText : SplitUnits(text)) {
        std::string error;
        std::optional<ProgramUnit> unit = ParseUnit(unitText, error);
        if (!unit) continue;
        for (const std::string& argument : SplitArguments(unit->arguments)) {
            Unquote(argument);
            WordMatches("SRIbinary", argument);
        }
        for (const std::string& keyword : unit->path) {
            KeywordMatches("HORizontal", keyword);
            LongForm(keyword);
        }
    }

    ScopeModel model;
    std::size_t start = 0;
    for (int messages = 0; start <= text.size() && messages < 32; ++messages) {
        std::size_t end = text.find('\n', start);
        std::string_view message = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        ScopeModel::Response response = model.Process(message, messages % 2 == 1);
        fuzz::Check(response.reply.empty() || response.reply.back() == '\n',
                    "a reply without its line feed");
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return 0;
}

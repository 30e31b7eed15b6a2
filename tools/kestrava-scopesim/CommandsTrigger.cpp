// The A trigger and its 8b/10b serial trigger settings.
#include <algorithm>

#include "tools/kestrava-scopesim/CommandTable.h"
#include "tools/kestrava-scopesim/ScpiParser.h"

namespace kestrava::scopesim {
namespace {

constexpr double kMinBitRate = 1.0e6;

}  // namespace

void AddTriggerCommands(CommandList& list) {
    list.push_back(Stored("TRIGger:A:MODe", "AUTO"));
    list.push_back(Stored("TRIGger:A:TYPe", "EDGE"));
    list.push_back(Stored("TRIGger:A:SERIal:CODe", "NRZ"));
    list.push_back(Stored("TRIGger:A:SERIal:STANdard", "CUSTOM"));
    list.push_back(Stored("TRIGger:A:SERIal:DATa:PATtern", Quoted("XXXXXXXXXX")));
    list.push_back(Stored("TRIGger:A:SERIal:SERDes:TRIGCondition", "8,0"));
    // The rate the serial trigger can follow is bounded; a request beyond is clamped, which
    // is how a program learns the instrument's maximum.
    list.push_back({"TRIGger:A:SERIal:BITRate",
                    [](CommandContext& c) { return Nr3(c.state.bitRate); },
                    [](CommandContext& c) {
                        if (auto rate = c.Number(0))
                            c.state.bitRate = std::clamp(*rate, kMinBitRate, c.state.maxBitRate);
                    }});
    list.push_back({"TRIGger:A:SERIal:SOUrce",
                    [](CommandContext& c) { return SourceName(c.state.serialSource); },
                    [](CommandContext& c) {
                        auto source = c.Source(0);
                        if (source && IsChannel(*source))
                            c.state.serialSource = *source;
                        else if (source)
                            c.Refuse("the serial trigger takes a channel");
                    }});
    // PATtern <n>,"<bits>"; the query takes the pattern number.
    list.push_back({"TRIGger:A:SERIal:SERDes:PATtern",
                    [](CommandContext& c) {
                        auto index = c.Integer(0);
                        if (!index) return std::string();
                        auto it = c.state.serdesPatterns.find(static_cast<int>(*index));
                        return Quoted(it == c.state.serdesPatterns.end() ? "" : it->second);
                    },
                    [](CommandContext& c) {
                        auto index = c.Integer(0);
                        if (index && c.NeedArgs(2))
                            c.state.serdesPatterns[static_cast<int>(*index)] = Unquote(c.args[1]);
                    }});
    // CONTROLBit <bit>,<value>; the query takes the bit number.
    list.push_back({"TRIGger:A:SERIal:SERDes:CONTROLBit",
                    [](CommandContext& c) {
                        auto bit = c.Integer(0);
                        if (!bit) return std::string();
                        auto it = c.state.controlBits.find(static_cast<int>(*bit));
                        return Nr1(it == c.state.controlBits.end() ? 0 : it->second);
                    },
                    [](CommandContext& c) {
                        auto bit = c.Integer(0);
                        auto value = bit ? c.Integer(1) : std::nullopt;
                        if (value)
                            c.state.controlBits[static_cast<int>(*bit)] = static_cast<int>(*value);
                    }});
}

}  // namespace kestrava::scopesim

// Common commands, headers, the acquisition system and the forced trigger.
#include "tools/kestrava-scopesim/CommandTable.h"

#include "tools/kestrava-scopesim/ScpiParser.h"

namespace kestrava::scopesim {

void AddSystemCommands(CommandList& list) {
    list.push_back({"*IDN", [](CommandContext& c) { return c.state.identity; }, nullptr});
    list.push_back({"*RST", nullptr, [](CommandContext& c) { c.state.Reset(); }});
    list.push_back({"*CLS", nullptr, [](CommandContext& c) {
                        c.state.errors.clear();
                        c.state.commandErrorPending = false;
                    }});
    list.push_back({"*ESR",
                    [](CommandContext& c) {
                        bool error = c.state.commandErrorPending;
                        c.state.commandErrorPending = false;
                        return std::string(error ? "32" : "0");
                    },
                    nullptr});
    list.push_back({"*WAI", nullptr, [](CommandContext&) {}});
    list.push_back({"*OPC",
                    [](CommandContext& c) {
                        // Operation complete when the pending sequence is; one that never
                        // completes gets no answer, as with a real instrument.
                        if (c.state.SequencePending()) {
                            auto doneAt = c.state.SequenceDoneAt();
                            if (!doneAt)
                                c.withhold = true;
                            else
                                c.notBefore = *doneAt;
                        }
                        return std::string("1");
                    },
                    [](CommandContext&) {}});
    list.push_back({"HEADer", [](CommandContext& c) { return Bool(c.state.header); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.header = *on;
                    }});
    list.push_back({"VERBose", [](CommandContext& c) { return Bool(c.state.verbose); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.verbose = *on;
                    }});
    list.push_back({"BUSY", [](CommandContext& c) { return Bool(c.state.Busy()); }, nullptr});
}

void AddAcquisitionCommands(CommandList& list) {
    list.push_back({"ACQuire:STATE", [](CommandContext& c) { return Bool(c.state.Running()); },
                    [](CommandContext& c) {
                        if (!c.NeedArgs(1)) return;
                        bool run;
                        if (auto word = Upper(c.args[0]); word == "RUN" || word == "STOP") {
                            run = word == "RUN";
                        } else if (auto on = c.Boolean(0)) {
                            run = *on;
                        } else {
                            return;
                        }
                        if (run)
                            c.state.Run();
                        else
                            c.state.Stop();
                    }});
    list.push_back({"ACQuire:STOPAfter",
                    [](CommandContext& c) {
                        return std::string(c.state.sequenceMode ? "SEQUENCE" : "RUNSTOP");
                    },
                    [](CommandContext& c) {
                        if (auto choice = c.Choice(0, {"SEQuence", "RUNSTop"}))
                            c.state.sequenceMode = *choice == 0;
                    }});
    list.push_back(
        {"ACQuire:NUMACq",
         [](CommandContext& c) { return Nr1(static_cast<long long>(c.state.acquisitions)); },
         nullptr});
    list.push_back(Stored("ACQuire:MODe", "SAMPLE"));
    list.push_back({"TRIGger", nullptr, [](CommandContext& c) {
                        if (c.Choice(0, {"FORCe"})) c.state.Force();
                    }});
    list.push_back({"TRIGger:STATE",
                    [](CommandContext& c) {
                        if (c.state.Busy()) return std::string("READY");
                        return std::string(c.state.Running() ? "AUTO" : "SAVE");
                    },
                    nullptr});
    list.push_back(Stored("DISplay:DESKew", "0"));
}

}  // namespace kestrava::scopesim

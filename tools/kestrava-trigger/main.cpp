#include <iostream>
#include <string>
#include <vector>

#include "base/Log.h"
#include "base/PrintableOutput.h"
#include "instrument/COscilloscope.h"
#include "tools/kestrava-trigger/TriggerCommand.h"

int main(int argc, char** argv) {
    // Instrument replies and file names are echoed: never let them drive the terminal.
    const kestrava::PrintableStandardStreams printable;
    std::vector<std::string> args(argv + 1, argv + argc);
    kestrava::ParsedTriggerCommandLine parsed = kestrava::ParseTriggerCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "kestrava-trigger: " << parsed.error << "\n";
        return kestrava::kTriggerUsageError;
    }
    if (parsed.options.dryRun || parsed.options.help) {
        kestrava::PrintingTriggerLink printer(std::cout);
        return kestrava::RunTrigger(parsed.options, printer, std::cout, std::cerr);
    }
    kestrava::ScopeTriggerLink link(kestrava::TheOscilloscope());
    const int status = kestrava::RunTrigger(parsed.options, link, std::cout, std::cerr);
    kestrava::TheOscilloscope().CloseConnection(true);
    return status;
}

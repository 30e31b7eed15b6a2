#include "tools/kestrava-trigger/TriggerCommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "base/Folders.h"
#include "definition/CMacros.h"
#include "session/CSataUserInterface.h"
#include "session/SetupFile.h"

namespace kestrava {

const char* const kTriggerUsage =
    "usage: kestrava-trigger [--setup FILE.ini | --standard TITLE] [--source CH1..CH4] "
    "[--dry-run]\n"
    "  --setup FILE.ini    recall the setup file as the window does and send its saved trigger\n"
    "  --standard TITLE    send the trigger defaults of this serial standard (default Sata)\n"
    "  --source CHn        trigger source, overriding the setup file's data source\n"
    "  --dry-run           print the commands instead of sending them\n"
    "  --help\n"
    "The instrument is GPIB8::1::INSTR. Exit status: 0 sent, 1 not sent, 2 usage.\n";

int PrintingTriggerLink::Write(const std::string& command) {
    out_ << command << "\n";
    return 1;
}

namespace {

int ChannelIndex(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (text.size() == 3 && text.compare(0, 2, "CH") == 0 && text[2] >= '1' && text[2] <= '4')
        return text[2] - '1';
    return -1;
}

// The command line's source wins over the setup file's data source.
class CommandTarget : public BasicSetupTarget {
  public:
    CommandTarget(CSataUserInterface& ui, ITriggerLink& link, double maximum, int forcedSource)
        : BasicSetupTarget(ui, &link, maximum), forcedSource_(forcedSource) {}
    void SelectDataSource(int index) override {
        BasicSetupTarget::SelectDataSource(forcedSource_ >= 0 ? forcedSource_ : index);
    }

  private:
    int forcedSource_;
};

std::string RateText(double rate) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

bool ReportRate(const CommandTarget& target, double maximum, std::ostream& err) {
    if (BitRateWithinMaximum(TheMacros(), maximum)) return true;
    err << "kestrava-trigger: the bit rate of " << target.StandardTitle() << " ("
        << (TheMacros() ? TheMacros()->bitRateText : std::string("none"))
        << ") is above the instrument maximum (" << RateText(maximum) << "): no trigger sent\n";
    return false;
}

}  // namespace

ParsedTriggerCommandLine ParseTriggerCommandLine(const std::vector<std::string>& args) {
    ParsedTriggerCommandLine parsed;
    TriggerCommandOptions& o = parsed.options;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message) + " (try --help)";
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--dry-run") {
            o.dryRun = true;
        } else if (arg == "--setup" || arg == "--standard" || arg == "--source") {
            const std::string* v = value();
            if (!v || v->empty()) return fail(arg + " needs a value");
            if (arg == "--setup")
                o.setupPath = *v;
            else if (arg == "--standard")
                o.standard = *v;
            else if ((o.source = ChannelIndex(*v)) < 0)
                return fail("--source takes CH1, CH2, CH3 or CH4, not '" + *v + "'");
        } else {
            return fail("unknown argument " + arg);
        }
    }
    if (!o.setupPath.empty() && !o.standard.empty())
        return fail("--setup and --standard exclude each other");
    return parsed;
}

int RunTrigger(const TriggerCommandOptions& o, ITriggerLink& link, std::ostream& out,
               std::ostream& err) {
    if (o.help) {
        out << kTriggerUsage;
        return kTriggerSent;
    }
    Folders::PrepareDataFolders();
    if (!o.setupPath.empty() && !Folders::Exists(o.setupPath)) {
        err << "kestrava-trigger: no setup file " << o.setupPath << "\n";
        return kTriggerUsageError;
    }
    if (link.OpenConnection() == 0) {
        err << "kestrava-trigger: no instrument answers at GPIB8::1::INSTR\n";
        return kTriggerNotSent;
    }
    const double maximum = o.dryRun ? HUGE_VAL : ProbeMaximumBitRate(link);
    MemoryListBox mainList, highLevelList;
    CSataUserInterface ui(mainList, highLevelList);
    CommandTarget target(ui, link, maximum, o.source);

    if (!o.setupPath.empty()) {
        if (o.source >= 0) target.SelectDataSource(o.source);
        if (!RecallSetting(o.setupPath, ui, target)) {
            err << "kestrava-trigger: cannot read the setup file " << o.setupPath << "\n";
            return kTriggerNotSent;
        }
        if (!ReportRate(target, maximum, err)) return kTriggerNotSent;
        if (!o.dryRun)
            out << "sent the trigger of " << o.setupPath << " (standard " << target.StandardTitle()
                << ", source " << target.DataSourceText() << ")\n";
        return kTriggerSent;
    }

    const std::string title = o.standard.empty() ? "Sata" : o.standard;
    const std::vector<std::string>& titles = target.Standards();
    auto found = std::find(titles.begin(), titles.end(), title);
    if (found == titles.end()) {
        err << "kestrava-trigger: no protocol definition '" << title << "' in "
            << Folders::DataFolder("Macros") << "\n";
        return kTriggerUsageError;
    }
    target.SelectDataSource(o.source >= 0 ? o.source : 0);
    target.SelectSerialStandard(static_cast<int>(found - titles.begin()));
    if (!ReportRate(target, maximum, err)) return kTriggerNotSent;
    if (!o.dryRun)
        out << "sent the trigger defaults of " << title << " (source " << target.DataSourceText()
            << ")\n";
    return kTriggerSent;
}

}  // namespace kestrava

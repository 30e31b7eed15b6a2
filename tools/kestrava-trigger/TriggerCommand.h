// kestrava-trigger: sends the saved trigger of a setup file, or the trigger defaults of a
// serial standard, to the instrument, for automation without the window.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "instrument/SerialTrigger.h"

namespace kestrava {

// --dry-run: every command is printed on a line of its own instead of being sent.
class PrintingTriggerLink final : public ITriggerLink {
  public:
    explicit PrintingTriggerLink(std::ostream& out) : out_(out) {}
    int OpenConnection() override { return 1; }
    int CloseConnection(bool) override { return 1; }
    int Write(const std::string& command) override;
    int Read(std::string& reply) override {
        reply.clear();
        return 1;
    }

  private:
    std::ostream& out_;
};

struct TriggerCommandOptions {
    std::string setupPath;
    std::string standard;  // empty: Sata when no setup file is given
    int source = -1;       // 0-3 for CH1-CH4; -1 not given
    bool dryRun = false;
    bool help = false;
};

struct ParsedTriggerCommandLine {
    TriggerCommandOptions options;
    std::string error;  // a one-line hint; empty when the line parsed
};

ParsedTriggerCommandLine ParseTriggerCommandLine(const std::vector<std::string>& args);

extern const char* const kTriggerUsage;

inline constexpr int kTriggerSent = 0;
inline constexpr int kTriggerNotSent = 1;
inline constexpr int kTriggerUsageError = 2;

// Runs the command against link (the instrument, or a printer for --dry-run).
int RunTrigger(const TriggerCommandOptions& options, ITriggerLink& link, std::ostream& out,
               std::ostream& err);

}  // namespace kestrava

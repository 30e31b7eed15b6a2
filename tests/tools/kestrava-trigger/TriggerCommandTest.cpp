// kestrava-trigger against the simulator: the defaults of a standard, the saved trigger of
// a setup file, and the refusals.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TriggerSimFixture.h"
#include "tools/kestrava-trigger/TriggerCommand.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

class TriggerCommandTest : public TriggerSimTest {
  protected:
    int Run(const Lines& args, ITriggerLink* link = nullptr) {
        out_.str("");
        err_.str("");
        ParsedTriggerCommandLine parsed = ParseTriggerCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        return RunTrigger(parsed.options, link ? *link : link_, out_, err_);
    }
    // The commands after the bit-rate probe.
    Lines SentAfterProbe() {
        Lines sent = Sent();
        EXPECT_GE(sent.size(), 4u);
        EXPECT_EQ(sent.front(), "TRIGger:A:SERIal:BitRate?");
        return sent.size() >= 4 ? Lines(sent.begin() + 4, sent.end()) : sent;
    }
    std::ostringstream out_, err_;
};

TEST_F(TriggerCommandTest, DefaultsOfAStandardOnAChannel) {
    sim_.SetMaxBitRate(6.25e9);
    EXPECT_EQ(Run({"--standard", "Sata", "--source", "ch3"}), kTriggerSent) << err_.str();
    const Lines sent = SentAfterProbe();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], "Trigger:A:Serial:Source CH3");
    EXPECT_EQ(sent[6], "TRIGger:A:SERIal:BitRate 1.5E9");
}

TEST_F(TriggerCommandTest, StandardAboveTheMaximumIsNotSent) {
    sim_.SetMaxBitRate(1.0e9);
    EXPECT_EQ(Run({"--standard", "Sata"}), kTriggerNotSent);
    EXPECT_NE(err_.str().find("above the instrument maximum"), std::string::npos);
    EXPECT_EQ(SentAfterProbe(), Lines{"Trigger:A:Serial:Source CH1"});
}

TEST_F(TriggerCommandTest, SavedTriggerOfASetupFile) {
    sim_.SetMaxBitRate(6.25e9);
    const std::string path = Root() + "/err.ini";
    WriteFile(
        path,
        "[Main]\r\nData Source=1\r\n[Trigger]\r\ntriggerOnSelection=2\r\nbCharacterError=1\r\n");
    EXPECT_EQ(Run({"--setup", path}), kTriggerSent) << err_.str();
    const Lines sent = SentAfterProbe();
    ASSERT_EQ(sent.size(), 1u + 6u + 8u);
    EXPECT_EQ(sent[0], "Trigger:A:Serial:Source CH2");
    EXPECT_EQ(sent[13], "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,4");

    // The command line's source wins over the file's.
    EXPECT_EQ(Run({"--setup", path, "--source", "CH4"}), kTriggerSent);
    EXPECT_EQ(SentAfterProbe().front(), "Trigger:A:Serial:Source CH4");
}

TEST_F(TriggerCommandTest, DryRunPrintsWithoutAnInstrument) {
    std::ostringstream printed;
    PrintingTriggerLink printer(printed);
    EXPECT_EQ(Run({"--dry-run", "--standard", "PCIExpress"}, &printer), kTriggerSent);
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_EQ(printed.str().rfind("Trigger:A:Serial:Source CH1\nTRIGGER:A:MODE NORMAL\n", 0), 0u)
        << printed.str();
}

TEST_F(TriggerCommandTest, CommandLineRefusals) {
    EXPECT_NE(ParseTriggerCommandLine({"--setup", "a.ini", "--standard", "Sata"}).error, "");
    EXPECT_NE(ParseTriggerCommandLine({"--source", "REF1"}).error, "");
    EXPECT_NE(ParseTriggerCommandLine({"--setup"}).error, "");
    EXPECT_NE(ParseTriggerCommandLine({"extra"}).error, "");
    EXPECT_EQ(Run({"--standard", "NoSuch"}), kTriggerUsageError);
    EXPECT_EQ(Run({"--setup", Root() + "/missing.ini"}), kTriggerUsageError);
}

}  // namespace
}  // namespace kestrava::test

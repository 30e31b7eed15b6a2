// Fixture: the instrument simulator on an ephemeral port, reached as GPIB8::1::INSTR by
// the program's instrument object, with the commands it received read back in order.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "instrument/COscilloscope.h"
#include "instrument/SerialTrigger.h"
#include "base/Folders.h"
#include "tests/support/TempFolders.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "visa/kvext.h"

namespace kestrava::test {

class TriggerSimTest : public TempFolders {
protected:
    void SetUp() override {
        TempFolders::SetUp();
        const char* config = std::getenv("XDG_CONFIG_HOME");
        hadConfig_ = config != nullptr;
        savedConfig_ = config ? config : "";
        ::setenv("XDG_CONFIG_HOME", (Root() + "/config").c_str(), 1);
        ASSERT_TRUE(Folders::PrepareDataFolders());
        kvClearAliases();
        ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
        const std::string address = "TCPIP0::127.0.0.1::" + std::to_string(sim_.Port()) + "::SOCKET";
        ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", address.c_str()), VI_SUCCESS);
        ASSERT_EQ(TheOscilloscope().OpenConnection(), 1);
        Sent();
    }
    void TearDown() override {
        TheOscilloscope().CloseConnection(true);
        kvClearAliases();
        sim_.Stop();
        if (hadConfig_)
            ::setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        TempFolders::TearDown();
    }

    // The commands received since the last call, after a round trip that makes sure all
    // of them have arrived.
    std::vector<std::string> Sent() {
        std::vector<std::string> journal;
        if (TheOscilloscope().Connected()) {
            std::string reply;
            link_.Write("*OPC?");
            link_.Read(reply);
            journal = sim_.Journal();
            if (!journal.empty() && journal.back() == "*OPC?") journal.pop_back();
        } else {
            journal = sim_.Journal();
        }
        sim_.ClearJournal();
        return journal;
    }

    scopesim::ScopeSimulator sim_;
    ScopeTriggerLink link_{TheOscilloscope()};
    CSerialTrigger trigger_{link_};

private:
    bool hadConfig_ = false;
    std::string savedConfig_;
};

}  // namespace kestrava::test

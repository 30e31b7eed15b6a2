// Fixture: the simulator reached as GPIB8::1::INSTR by the program's instrument object,
// with the commands it received read back in order.
#pragma once

#include <string>
#include <vector>

#include "base/Folders.h"
#include "instrument/COscilloscope.h"
#include "instrument/SerialTrigger.h"
#include "tests/support/SimulatorFixture.h"

namespace kestrava::test {

class TriggerSimTest : public SimulatorFixture<> {
  protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        ASSERT_EQ(TheOscilloscope().OpenConnection(), 1);
        Sent();
    }
    void TearDown() override {
        TheOscilloscope().CloseConnection(true);
        SimulatorFixture::TearDown();
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

    ScopeTriggerLink link_{TheOscilloscope()};
    CSerialTrigger trigger_{link_};
};

}  // namespace kestrava::test

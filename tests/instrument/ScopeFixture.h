// A simulator on an ephemeral port standing in for "GPIB8::1::INSTR", with the program's
// waits shortened, the waveform data module started in the test's own folders, and helpers
// to read the journal and to prove that no lock was left behind.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "instrument/AcquisitionMode.h"
#include "instrument/COscilloscope.h"
#include "instrument/Wdm.h"
#include "tests/support/InstrumentLock.h"
#include "tests/support/SimulatorFixture.h"
#include "visa/visa.h"

namespace kestrava::test {

inline constexpr std::uint32_t kShortTimeoutMs = 300;

class ScopeTest : public SimulatorFixture<> {
  protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        sim_.SetBusyTime(std::chrono::milliseconds(5));
        ASSERT_TRUE(WdmStart());
        WdmSetTimeouts({kShortTimeoutMs, kShortTimeoutMs});
        InstrumentTimings timings;
        timings.busyPollInterval = std::chrono::milliseconds(1);
        timings.busyPollLimit = 20;
        timings.measurementSettle = std::chrono::milliseconds(0);
        TheOscilloscope().SetTimings(timings);
        SetAcquisitionMode(kAcquireSingleSequence);
    }
    void TearDown() override {
        TheOscilloscope().CloseConnection(true);
        TheOscilloscope().SetTimings(InstrumentTimings{});
        WdmSetTimeouts(WdmTimeouts{});
        WdmStop();
        SetAcquisitionMode(kAcquireSingleSequence);
        SimulatorFixture::TearDown();
    }

    // Connects the program-wide object with a short I/O timeout; the journal starts after.
    void Connect() {
        ASSERT_EQ(TheOscilloscope().OpenConnection(), 1);
        ASSERT_EQ(viSetAttribute(TheOscilloscope().Session(), VI_ATTR_TMO_VALUE, kShortTimeoutMs),
                  VI_SUCCESS);
        Received();
        sim_.ClearJournal();
    }

    // Every message the simulator has handled: a round trip on the session (or, without
    // one, on a session of its own) makes sure all that was sent before has arrived. The
    // program never sends "*OPC?", so those lines are the test's own and left out.
    std::vector<std::string> Received(std::uint32_t session = 0) {
        if (session == 0) session = TheOscilloscope().Session();
        ViSession manager = VI_NULL, own = VI_NULL;
        if (session == 0 && viOpenDefaultRM(&manager) >= VI_SUCCESS &&
            viOpen(manager, address_.c_str(), VI_NO_LOCK, 0, &own) >= VI_SUCCESS) {
            viSetAttribute(own, VI_ATTR_IO_PROT, VI_PROT_4882_STRS);
            session = own;
        }
        if (session != 0) {
            ViUInt32 count = 0;
            char reply[64];
            if (viWrite(session, reinterpret_cast<ViConstBuf>("*OPC?\n"), 6, &count) >= VI_SUCCESS)
                viRead(session, reinterpret_cast<ViPBuf>(reply), sizeof reply, &count);
        }
        if (manager != VI_NULL) viClose(manager);
        std::vector<std::string> lines;
        for (const std::string& line : sim_.Journal())
            if (line != "*OPC?") lines.push_back(line);
        return lines;
    }
    // The same with each run of "BUSY?" polls shown once.
    std::vector<std::string> Journal(std::uint32_t session = 0) {
        std::vector<std::string> lines;
        for (const std::string& line : Received(session))
            if (!(line == "BUSY?" && !lines.empty() && lines.back() == "BUSY?"))
                lines.push_back(line);
        return lines;
    }
    std::size_t CountOf(const std::string& command, std::uint32_t session = 0) {
        std::size_t count = 0;
        for (const std::string& line : Received(session)) count += line == command;
        return count;
    }

    // True when another session can take the instrument's lock at once: nothing was left
    // locked by the program.
    bool InstrumentUnlocked() { return InstrumentUnlockedAt(address_); }
};

}  // namespace kestrava::test

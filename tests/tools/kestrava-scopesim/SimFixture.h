// Fixture: the simulator reached as GPIB8::1::INSTR through our VISA library, as the
// program reaches the instrument, on a session of the test's own.
#pragma once

#include <string>
#include <vector>

#include "tests/support/SimulatorFixture.h"
#include "tests/visa/VisaFixture.h"

namespace kestrava::test {

class SimTest : public SimulatorFixture<VisaTest> {
  protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        vi_ = Open(kResource);
        Send("HEADER 0");
        Sync();
        sim_.ClearJournal();
    }

    void Send(const std::string& command) {
        ASSERT_EQ(WriteText(vi_, command), VI_SUCCESS) << command;
    }
    // Writes a query and reads one reply of at most 256 bytes, as the program does; the
    // reply comes back without its line feed, or "<status>" when the read failed.
    std::string Query(const std::string& query) {
        if (WriteText(vi_, query) != VI_SUCCESS) return "<write failed>";
        std::string reply;
        ViStatus status = ReadText(vi_, 256, reply);
        if (status < VI_SUCCESS) return "<" + std::to_string(status) + ">";
        if (!reply.empty() && reply.back() == '\n') reply.pop_back();
        return reply;
    }
    double QueryNumber(const std::string& query) { return std::stod(Query(query)); }
    // A round trip, so that everything sent before has been handled.
    void Sync() { Query("*OPC?"); }

    ViSession vi_ = VI_NULL;
};

}  // namespace kestrava::test

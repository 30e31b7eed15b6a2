// Fixture: a simulator on an ephemeral port, reached as GPIB8::1::INSTR through our VISA
// library, as the program reaches the instrument.
#pragma once

#include <string>
#include <vector>

#include "tests/visa/VisaFixture.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"

namespace kestrava::test {

class SimTest : public VisaTest {
protected:
    void SetUp() override {
        VisaTest::SetUp();
        ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
        std::string address = "TCPIP0::127.0.0.1::" + std::to_string(sim_.Port()) + "::SOCKET";
        ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", address.c_str()), VI_SUCCESS);
        vi_ = Open("GPIB8::1::INSTR");
        Send("HEADER 0");
        Sync();
        sim_.ClearJournal();
    }
    void TearDown() override {
        VisaTest::TearDown();
        sim_.Stop();
    }

    void Send(const std::string& command) { ASSERT_EQ(WriteText(vi_, command), VI_SUCCESS) << command; }
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

    scopesim::ScopeSimulator sim_;
    ViSession vi_ = VI_NULL;
};

}  // namespace kestrava::test

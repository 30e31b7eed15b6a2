// Fixture: the instrument simulator in this process on an ephemeral port, reached as
// GPIB8::1::INSTR through our VISA library's in-process alias. Base is TempFolders or a
// fixture built on it (the VISA tests' own, for their session helpers).
// KESTRAVA_TEST_TRANSPORT picks what the alias names: the raw socket (unset or "socket"),
// VXI-11 ("vxi11": found through the simulator's own portmapper on a free port, which
// KESTRAVA_PORTMAPPER_PORT tells the library) or HiSLIP ("hislip"), so that one test
// program runs over each.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/TempFolders.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "visa/kvext.h"
#include "visa/visa.h"

namespace kestrava::test {

template <class Base = TempFolders>
class SimulatorFixture : public Base {
  protected:
    static constexpr const char* kResource = "GPIB8::1::INSTR";

    void SetUp() override {
        Base::SetUp();
        kvClearAliases();
        ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
        const char* transport = std::getenv("KESTRAVA_TEST_TRANSPORT");
        transport_ = transport ? transport : "socket";
        ASSERT_TRUE(transport_ == "socket" || transport_ == "vxi11" || transport_ == "hislip")
            << "KESTRAVA_TEST_TRANSPORT=" << transport_;
        ASSERT_TRUE(StartTransport(0, 0, 0));
        if (transport_ == "vxi11") {
            ::setenv("KESTRAVA_PORTMAPPER_PORT", std::to_string(sim_.PortmapperPort()).c_str(), 1);
            address_ = "TCPIP0::127.0.0.1::inst0::INSTR";
        } else if (transport_ == "hislip") {
            address_ =
                "TCPIP0::127.0.0.1::hislip0," + std::to_string(sim_.HislipPort()) + "::INSTR";
        } else {
            address_ = SocketAddress(sim_.Port());
        }
        ASSERT_EQ(kvSetAlias(kResource, address_.c_str()), VI_SUCCESS);
    }
    void TearDown() override {
        kvClearAliases();
        sim_.Stop();
        Base::TearDown();
    }

    // The simulator stopped and started again on the same ports, as an instrument back.
    bool StartAgain() {
        sim_.Stop();
        return sim_.Start(ports_[0]) && StartTransport(ports_[1], ports_[3], ports_[2]);
    }
    // The key of the instrument's lock file (visa::ResourceLock::PathFor).
    std::string LockKey() const {
        if (transport_ == "vxi11") return "127.0.0.1:" + std::to_string(ports_[1]) + "-inst0";
        if (transport_ == "hislip") return "127.0.0.1:" + std::to_string(ports_[2]) + "-hislip0";
        return "127.0.0.1:" + std::to_string(ports_[0]);
    }

    static std::string SocketAddress(int port) {
        return "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
    }
    // The same resource in the alias file, for code that carries a VISA library of its own.
    void PointAliasFileAt(const std::string& address) {
        this->WriteFile(this->ConfigHome() + "/kestrava/visa.conf",
                        std::string(kResource) + " = " + address + "\n");
    }

    scopesim::ScopeSimulator sim_;
    std::string address_;
    std::string transport_;

  private:
    bool StartTransport(uint16_t vxi11, uint16_t portmapper, uint16_t hislip) {
        bool started = transport_ == "vxi11"    ? sim_.StartVxi11(vxi11, portmapper)
                       : transport_ == "hislip" ? sim_.StartHislip(hislip)
                                                : true;
        EXPECT_TRUE(started) << sim_.LastError();
        ports_[0] = sim_.Port();
        ports_[1] = sim_.Vxi11Port();
        ports_[2] = sim_.HislipPort();
        ports_[3] = sim_.PortmapperPort();
        return started;
    }
    uint16_t ports_[4] = {};  // raw, VXI-11 core, HiSLIP, portmapper
};

}  // namespace kestrava::test

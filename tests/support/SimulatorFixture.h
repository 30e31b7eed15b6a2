// Fixture: the instrument simulator in this process on an ephemeral port, reached as
// GPIB8::1::INSTR through our VISA library's in-process alias. Base is TempFolders or a
// fixture built on it (the VISA tests' own, for their session helpers).
#pragma once

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
        address_ = SocketAddress(sim_.Port());
        ASSERT_EQ(kvSetAlias(kResource, address_.c_str()), VI_SUCCESS);
    }
    void TearDown() override {
        kvClearAliases();
        sim_.Stop();
        Base::TearDown();
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
};

}  // namespace kestrava::test

// The simulator registered with the machine's portmapper (port 111), as it is without
// --portmapper, and found there by our VXI-11 transport like any client would find an
// instrument; withdrawn when it stops. Skipped when no portmapper answers on port 111.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "visa/visa.h"

namespace kestrava::test {
namespace {

bool PortmapperAnswers() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(111);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return open;
}

std::string Identity(ViSession rm, ViStatus& status) {
    ViSession vi = VI_NULL;
    status = viOpen(rm, "TCPIP::localhost::INSTR", VI_NO_LOCK, 0, &vi);
    if (status < VI_SUCCESS) return {};
    ViUInt32 count = 0;
    char reply[64] = {};
    status = viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?"), 5, &count);
    if (status >= VI_SUCCESS)
        status = viRead(vi, reinterpret_cast<ViPBuf>(reply), sizeof reply - 1, &count);
    viClose(vi);
    return std::string(reply, count);
}

TEST(PortmapperTest, TheSimulatorIsFoundThroughTheMachinesPortmapperWhileItRuns) {
    if (!PortmapperAnswers()) GTEST_SKIP() << "no portmapper answers on port 111";
    ::unsetenv("KESTRAVA_PORTMAPPER_PORT");
    scopesim::ScopeSimulator sim;
    sim.SetIdentity("KESTRAVA,PORTMAPPED,0,1");
    ASSERT_TRUE(sim.Start(0)) << sim.LastError();
    ASSERT_TRUE(sim.StartVxi11(0, std::nullopt)) << sim.LastError();
    EXPECT_EQ(sim.PortmapperPort(), 111);
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViStatus status = VI_SUCCESS;
    EXPECT_EQ(Identity(rm, status), "KESTRAVA,PORTMAPPED,0,1\n");
    EXPECT_EQ(status, VI_SUCCESS);
    sim.Stop();
    EXPECT_EQ(Identity(rm, status), "");
    EXPECT_EQ(status, VI_ERROR_RSRC_NFOUND);
    viClose(rm);
}

}  // namespace
}  // namespace kestrava::test

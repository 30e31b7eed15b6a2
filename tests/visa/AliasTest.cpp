// Alias configuration: parsing, bounds, lookup order, and opening through an alias.
#include "visa/Aliases.h"

#include <string>

#include "tests/visa/TestServer.h"
#include "tests/visa/VisaFixture.h"

namespace kestrava::test {
namespace {

using visa::AliasConfig;
using visa::ParseAliasConfig;

std::string Resolve(const char* name) {
    ViChar address[VI_FIND_BUFLEN] = "unchanged";
    ViStatus status = kvResolveResource(name, address);
    return status == VI_SUCCESS ? std::string(address) : "status " + std::to_string(status);
}

TEST(AliasConfigTest, ReadsAliasesAndSkipsCommentsAndBlankLines) {
    AliasConfig config = ParseAliasConfig(
        "# lab instruments\r\n"
        "\n"
        "   GPIB8::1::INSTR =  TCPIP0::192.0.2.5::4000::SOCKET  \r\n"
        "bench\t=\ttcpip::scope-2.lab::5025::socket\n"
        "v6 = TCPIP1::[::1]::4000::SOCKET\n"
        "lxi = tcpip::192.0.2.6::INSTR\n"
        "hs = TCPIP::[::1]::HISLIP0,4881::instr\n"
        "hs2 = TCPIP2::h::hislip1,4880::INSTR",
        "visa.conf");
    EXPECT_TRUE(config.errors.empty());
    ASSERT_EQ(config.aliases.size(), 6u);
    // VXI-11 and HiSLIP names are written out whole: the device, a port only when not 4880.
    EXPECT_EQ(config.aliases[3].second, "TCPIP0::192.0.2.6::inst0::INSTR");
    EXPECT_EQ(config.aliases[4].second, "TCPIP0::[::1]::hislip0,4881::INSTR");
    EXPECT_EQ(config.aliases[5].second, "TCPIP2::h::hislip1::INSTR");
    EXPECT_EQ(config.aliases[0], (std::pair<std::string, std::string>{
                                     "GPIB8::1::INSTR", "TCPIP0::192.0.2.5::4000::SOCKET"}));
    EXPECT_EQ(config.aliases[1].second, "TCPIP0::scope-2.lab::5025::SOCKET");
    EXPECT_EQ(config.aliases[2].second, "TCPIP1::[::1]::4000::SOCKET");
}

TEST(AliasConfigTest, RefusesMalformedLinesWithTheirReason) {
    AliasConfig config = ParseAliasConfig(
        "GPIB8::1::INSTR TCPIP0::h::1::SOCKET\n"  // 1: no '='
        "GPIB8::1::INSTR = LOOPBACK::h::INSTR\n"  // 2: not a LAN address
        "two words = TCPIP0::h::1::SOCKET\n"      // 3: blank in the name
        " = TCPIP0::h::1::SOCKET\n"               // 4: no name
        "A = TCPIP0::h::70000::SOCKET\n"          // 5: port out of range
        "a = TCPIP0::h::1::SOCKET\n"              // 6: fine
        "A = TCPIP0::other::1::SOCKET\n"          // 7: same name, other case
            + std::string("B = TCPIP0::h::1::SOCKET") + std::string(1100, ' ') +
            "\n",  // 8: too long
        "visa.conf");
    ASSERT_EQ(config.aliases.size(), 1u);
    EXPECT_EQ(config.aliases[0].first, "a");
    ASSERT_EQ(config.errors.size(), 7u);
    EXPECT_EQ(config.errors[0], "visa.conf:1: expected \"NAME = ADDRESS\"");
    EXPECT_EQ(config.errors[1],
              "visa.conf:2: \"LOOPBACK::h::INSTR\" is not a TCPIPn::host::port::SOCKET, "
              "TCPIPn::host::INSTR or TCPIPn::host::hislip0::INSTR address");
    EXPECT_EQ(config.errors[2], "visa.conf:3: invalid alias name \"two words\"");
    EXPECT_EQ(config.errors[3], "visa.conf:4: invalid alias name \"\"");
    EXPECT_NE(config.errors[4].find("visa.conf:5:"), std::string::npos);
    EXPECT_EQ(config.errors[5], "visa.conf:7: \"A\" is already defined on line 6");
    EXPECT_EQ(config.errors[6], "visa.conf:8: line longer than 1024 bytes, ignored");
}

TEST(AliasConfigTest, BoundsTheFileAndTheAliasCount) {
    std::string many;
    for (int i = 0; i < 300; ++i) many += "N" + std::to_string(i) + " = TCPIP0::h::1::SOCKET\n";
    AliasConfig config = ParseAliasConfig(many, "f");
    EXPECT_EQ(config.aliases.size(), visa::kMaxAliases);
    EXPECT_EQ(config.errors.size(), 300 - visa::kMaxAliases);
    EXPECT_EQ(config.errors[0], "f:257: more than 256 aliases, ignored");

    AliasConfig huge = ParseAliasConfig(std::string(visa::kMaxConfigBytes + 1, '#'), "f");
    EXPECT_TRUE(huge.aliases.empty());
    EXPECT_EQ(huge.errors, std::vector<std::string>{"f: larger than 65536 bytes, not read"});

    AliasConfig binary = ParseAliasConfig(std::string("A = TCPIP0::h::1::SOCKET\n\0", 27), "f");
    EXPECT_TRUE(binary.aliases.empty());
    EXPECT_EQ(binary.errors.size(), 1u);
}

class AliasTest : public VisaTest {};

TEST_F(AliasTest, LookupOrderIsProcessThenFileThenDefault) {
    EXPECT_EQ(Resolve("GPIB8::1::INSTR"), "TCPIP0::localhost::4000::SOCKET");
    WriteAliasFile("gpib8::1::instr = TCPIP0::192.0.2.5::4000::SOCKET\n");
    EXPECT_EQ(Resolve("GPIB8::1::INSTR"), "TCPIP0::192.0.2.5::4000::SOCKET");
    ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", "TCPIP0::127.0.0.1::5000::SOCKET"), VI_SUCCESS);
    EXPECT_EQ(Resolve("Gpib8::1::Instr"), "TCPIP0::127.0.0.1::5000::SOCKET");
    ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", nullptr), VI_SUCCESS);
    EXPECT_EQ(Resolve("GPIB8::1::INSTR"), "TCPIP0::192.0.2.5::4000::SOCKET");
    WriteAliasFile("");
    EXPECT_EQ(Resolve("GPIB8::1::INSTR"), "TCPIP0::localhost::4000::SOCKET");
}

TEST_F(AliasTest, NamesThatAreNoAliases) {
    EXPECT_EQ(Resolve("TCPIP::host::99::SOCKET"), "TCPIP0::host::99::SOCKET");
    EXPECT_EQ(Resolve("GPIB0::1::INSTR"), "status " + std::to_string(VI_ERROR_RSRC_NFOUND));
    EXPECT_EQ(Resolve("scope"), "status " + std::to_string(VI_ERROR_INV_RSRC_NAME));
    EXPECT_EQ(kvSetAlias("scope", "GPIB0::1::INSTR"), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(kvSetAlias("two words", "TCPIP0::h::1::SOCKET"), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(kvSetAlias("", "TCPIP0::h::1::SOCKET"), VI_ERROR_INV_RSRC_NAME);
}

TEST_F(AliasTest, MalformedFileLinesAreReportedAndTheRestApplies) {
    // A terminal's escape sequence in the file is shown, not sent to the terminal.
    WriteAliasFile("rubbish\n\x1b[2J = x\nscope = TCPIP0::10.0.0.9::4000::SOCKET\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Resolve("SCOPE"), "TCPIP0::10.0.0.9::4000::SOCKET");
    EXPECT_EQ(Resolve("SCOPE"), "TCPIP0::10.0.0.9::4000::SOCKET");  // reported once
    std::string messages = testing::internal::GetCapturedStderr();
    const std::string file = "kestrava-visa: " + ConfigHome() + "/kestrava/visa.conf:";
    EXPECT_EQ(messages, file + "1: expected \"NAME = ADDRESS\"\n" + file +
                            "2: invalid alias name \"\\x1b[2J\"\n");
}

TEST_F(AliasTest, OpensTheInstrumentThroughTheFileAlias) {
    TestServer server([](ServerConnection& c) {
        if (c.ReceiveLine() == "*IDN?\n") c.Send("MAKER,QVM7254,0,1\n");
        c.WaitForClose();
    });
    WriteAliasFile("GPIB8::1::INSTR = TCPIP0::127.0.0.1::" + std::to_string(server.Port()) +
                   "::SOCKET\n");
    ViSession vi = Open("GPIB8::1::INSTR");
    ASSERT_EQ(WriteText(vi, "*IDN?"), VI_SUCCESS);
    std::string reply;
    EXPECT_EQ(ReadText(vi, 256, reply), VI_SUCCESS);
    EXPECT_EQ(reply, "MAKER,QVM7254,0,1\n");
}

TEST_F(AliasTest, ConfigPathFollowsXdgConfigHome) {
    ViChar path[512];
    ASSERT_EQ(kvConfigPath(path, sizeof path), VI_SUCCESS);
    EXPECT_EQ(std::string(path), ConfigHome() + "/kestrava/visa.conf");
    EXPECT_EQ(kvConfigPath(path, 4), VI_ERROR_INV_SIZE);
}

}  // namespace
}  // namespace kestrava::test

// The loopback transport: a session over an in-process peer reads, writes, times out and
// ends messages exactly as one over a socket does, and names open only what is served.
#include <chrono>
#include <future>
#include <string>
#include <string_view>

#include "tests/visa/TestServer.h"
#include "tests/visa/VisaFixture.h"
#include "visa/LoopbackPeer.h"
#include "visa/StatusCodes.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;
using visa::LoopbackPeer;

// The instrument both transports play: one answer per command line, none to the rest.
std::string Answer(std::string_view command) {
    if (command == "*IDN?\n") return "MAKER,QVM7254,0,1\n";
    if (command == "CURVE?\n") return "#15ab\ncd\n";  // a block whose data holds a line feed
    if (command == "TWO?\n") return "ab\ncd\n";
    return "";
}

// Statuses by name and bytes with visible line feeds, one line per call.
std::string Step(char call, ViStatus status, const std::string& bytes = "") {
    std::string shown;
    for (char c : bytes) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    const visa::StatusInfo* info = visa::FindStatus(status);
    return std::string(1, call) + " " + std::string(info ? info->name : "?") + " " + shown + "\n";
}

constexpr std::string_view kInstrConversation =
    "w VI_SUCCESS \n"
    "r VI_SUCCESS MAKER,QVM7254,0,1\\n\n"
    "w VI_SUCCESS \n"
    "r VI_SUCCESS_MAX_CNT #15\n"
    "r VI_SUCCESS ab\\ncd\\n\n"
    "w VI_SUCCESS \n"
    "r VI_SUCCESS_TERM_CHAR ab\\n\n"
    "r VI_SUCCESS_MAX_CNT c\n"
    "r VI_SUCCESS_TERM_CHAR d\\n\n"
    "w VI_SUCCESS \n"
    "r VI_ERROR_TMO \n"
    "r VI_ERROR_TMO \n"
    "w VI_SUCCESS \n"
    "r VI_ERROR_CONN_LOST \n"
    "w VI_ERROR_CONN_LOST \n";

// A socket session has no END: a reply is complete only at the count or the timeout.
constexpr std::string_view kSocketConversation =
    "w VI_SUCCESS \n"
    "r VI_ERROR_TMO MAKER,QVM7254,0,1\\n\n"
    "w VI_SUCCESS \n"
    "r VI_SUCCESS_MAX_CNT #15\n"
    "r VI_ERROR_TMO ab\\ncd\\n\n"
    "w VI_SUCCESS \n"
    "r VI_SUCCESS_TERM_CHAR ab\\n\n"
    "r VI_SUCCESS_MAX_CNT c\n"
    "r VI_SUCCESS_TERM_CHAR d\\n\n"
    "w VI_SUCCESS \n"
    "r VI_ERROR_TMO \n"
    "r VI_ERROR_TMO \n"
    "w VI_SUCCESS \n"
    "r VI_ERROR_CONN_LOST \n"
    "w VI_ERROR_CONN_LOST \n";

class LoopbackTest : public VisaTest {
  protected:
    // One conversation; on an INSTR session the line feed that ends a command is END's own.
    static std::string Converse(ViSession vi, bool instr) {
        std::string log;
        auto write = [&](const std::string& command) {
            log += Step('w', WriteText(vi, instr ? command : command + "\n"));
        };
        auto read = [&](ViUInt32 count) {
            std::string text;
            ViStatus status = ReadText(vi, count, text);
            log += Step('r', status, text);
        };
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 100);
        write("*IDN?");
        read(256);
        write("CURVE?");
        read(3);
        read(256);
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
        write("TWO?");
        read(256);
        read(1);
        read(256);
        write("NOTHING?");
        read(10);
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE);
        read(10);
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000);
        write("BYE");  // the peer hangs up
        read(10);
        write("*IDN?");
        viClose(vi);
        return log;
    }
};

TEST_F(LoopbackTest, ConversationGoesAsOverASocket) {
    for (bool instr : {true, false}) {
        std::string overSocket, overLoopback;
        {
            TestServer server([](ServerConnection& c) {
                for (std::string line = c.ReceiveLine(); !line.empty() && line != "BYE\n";
                     line = c.ReceiveLine())
                    c.Send(Answer(line));
            });
            ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", server.Address().c_str()), VI_SUCCESS);
            overSocket = Converse(Open(instr ? "GPIB8::1::INSTR" : server.Address()), instr);
        }
        {
            LoopbackPeer peer("scope", [&peer](std::string_view written) {
                if (written == "BYE\n") peer.Hangup();
                return Answer(written);
            });
            // The program's own name can stand for the peer.
            ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", "LOOPBACK::scope::INSTR"), VI_SUCCESS);
            overLoopback =
                Converse(Open(instr ? "GPIB8::1::INSTR" : "LOOPBACK::scope::SOCKET"), instr);
        }
        EXPECT_EQ(overSocket, instr ? kInstrConversation : kSocketConversation);
        EXPECT_EQ(overLoopback, overSocket) << (instr ? "INSTR" : "SOCKET");
    }
}

TEST_F(LoopbackTest, NamesOpenOnlyWhatIsServed) {
    LoopbackPeer peer("scope", [](std::string_view) { return std::string(); });
    const std::pair<const char*, ViStatus> cases[] = {
        {"loopback::scope::instr", VI_SUCCESS},
        {"LOOPBACK::Scope::INSTR", VI_ERROR_RSRC_NFOUND},  // nobody serves it: as a refused socket
        // Names of no form we open give what they always gave.
        {"LOOPBACK::scope", VI_ERROR_INV_RSRC_NAME},
        {"LOOPBACK::a b::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"USB0::0x0699::0x0401::C000001::INSTR", VI_ERROR_RSRC_NFOUND},
        {"TCPIP0::192.0.2.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND},
        {"TCPIP0::127.0.0.1::0::SOCKET", VI_ERROR_INV_RSRC_NAME},
    };
    for (const auto& [name, status] : cases) Open(name, status);
    ViChar text[VI_FIND_BUFLEN];
    EXPECT_EQ(kvResolveResource("loopback::scope::instr", text), VI_SUCCESS);
    EXPECT_STREQ(text, "LOOPBACK::scope::INSTR");

    ViSession vi = Open("LOOPBACK::scope::INSTR");
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE);
    auto reader = std::async(std::launch::async, [vi] {
        std::string reply;
        return ReadText(vi, 10, reply);
    });
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    peer.Hangup();  // wakes the read
    EXPECT_EQ(reader.get(), VI_ERROR_CONN_LOST);
    Open("LOOPBACK::scope::INSTR", VI_ERROR_RSRC_NFOUND);
}

}  // namespace
}  // namespace kestrava::test

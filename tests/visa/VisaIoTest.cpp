// Reading, writing, timeouts and connection failures over the raw-socket transport.
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "tests/visa/TestServer.h"
#include "tests/visa/VisaFixture.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;

class VisaIoTest : public VisaTest {};

TEST_F(VisaIoTest, TermCharEndsReadsOnlyWhenEnabled) {
    TestServer server([](ServerConnection& c) {
        c.Send("abc\ndef\n");
        c.ReceiveLine();  // the client's cue for the next reply
        c.Send("xyz\n");
        c.WaitForClose();
    });
    ViSession vi = Open(server.Address());
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    std::string text;
    EXPECT_EQ(ReadText(vi, 100, text), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, "abc\n");
    EXPECT_EQ(ReadText(vi, 100, text), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, "def\n");

    // Without the term char a socket read waits for the count, and times out with what came.
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    ASSERT_EQ(WriteText(vi, "next\n"), VI_SUCCESS);
    EXPECT_EQ(ReadText(vi, 100, text), VI_ERROR_TMO);
    EXPECT_EQ(text, "xyz\n");
}

TEST_F(VisaIoTest, ReadStopsAtCountAndKeepsTheRest) {
    TestServer server([](ServerConnection& c) {
        c.Send("0123456789\n");
        c.WaitForClose();
    });
    ViSession vi = Open(server.Address());
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    std::string text;
    EXPECT_EQ(ReadText(vi, 4, text), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(text, "0123");
    EXPECT_EQ(ReadText(vi, 6, text), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(text, "456789");
    // The count reached exactly at the term char reports the term char.
    EXPECT_EQ(ReadText(vi, 1, text), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, "\n");
    // A zero count reads nothing and says so.
    ViUInt32 got = 99;
    EXPECT_EQ(viRead(vi, nullptr, 0, &got), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(got, 0u);
}

TEST_F(VisaIoTest, PiecesArrivingApartMakeOneRead) {
    TestServer server([](ServerConnection& c) {
        for (const char* piece : {"12", "34", "5\n"}) {
            c.Send(piece);
            std::this_thread::sleep_for(20ms);  // separate segments on the wire
        }
        c.WaitForClose();
    });
    ViSession vi = Open(server.Address());
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    std::string text;
    EXPECT_EQ(ReadText(vi, 256, text), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, "12345\n");
}

TEST_F(VisaIoTest, WriteSendsExactlyTheBytesGiven) {
    const std::string command = std::string(
                                    "WFMOutpre:ENCdg\xA0"
                                    "BIN") +
                                std::string(1, '\0') + "\xFF";
    std::promise<std::string> received;
    TestServer server([&](ServerConnection& c) {
        received.set_value(c.ReceiveExactly(command.size() + 1));  // one byte more than sent
    });
    ViSession vi = Open(server.Address());
    ViUInt32 sent = 0;
    EXPECT_EQ(WriteText(vi, command, &sent), VI_SUCCESS);
    EXPECT_EQ(sent, command.size());
    viClose(vi);  // the server then sees the end of the stream: nothing was added
    EXPECT_EQ(received.get_future().get(), command);
}

TEST_F(VisaIoTest, ReadAndWriteTimeOut) {
    TestServer server([](ServerConnection& c) { c.WaitForClose(); });
    ViSession vi = Open(server.Address());
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 50), VI_SUCCESS);
    std::string text;
    EXPECT_EQ(ReadText(vi, 10, text), VI_ERROR_TMO);
    EXPECT_EQ(text, "");
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
    EXPECT_EQ(ReadText(vi, 10, text), VI_ERROR_TMO);
}

TEST_F(VisaIoTest, WriteToAPeerThatDoesNotReadTimesOut) {
    // The server reads nothing until the client closes, so the socket buffers fill.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    TestServer server([released](ServerConnection&) { released.wait(); });
    ViSession vi = Open(server.Address());
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    std::string big(64 << 20, 'x');
    ViUInt32 sent = 0;
    EXPECT_EQ(WriteText(vi, big, &sent), VI_ERROR_TMO);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, big.size());
    release.set_value();
}

TEST_F(VisaIoTest, RefusedConnectionIsResourceNotFound) {
    ViSession vi = 777;
    std::string address = "TCPIP0::127.0.0.1::" + std::to_string(ClosedPort()) + "::SOCKET";
    EXPECT_EQ(viOpen(rm_, address.c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
}

TEST_F(VisaIoTest, PeerThatClosesIsConnectionLostNotASignal) {
    TestServer server([](ServerConnection& c) { c.Send("bye\n"); });  // then closes
    ViSession vi = Open(server.Address());
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    std::string text;
    EXPECT_EQ(ReadText(vi, 100, text), VI_SUCCESS_TERM_CHAR);  // what came before the close
    EXPECT_EQ(text, "bye\n");
    EXPECT_EQ(ReadText(vi, 100, text), VI_ERROR_CONN_LOST);
    EXPECT_EQ(WriteText(vi, "*IDN?\n"), VI_ERROR_CONN_LOST);
}

TEST_F(VisaIoTest, WritesToAClosedPeerFailWithoutEndingTheProcess) {
    std::promise<void> closed;
    TestServer server([&](ServerConnection&) { closed.set_value(); });
    ViSession vi = Open(server.Address());
    closed.get_future().wait();
    std::string chunk(4096, 'y');
    ViStatus status = VI_SUCCESS;
    // The first sends may still be accepted by the kernel; then the reset shows.
    for (int i = 0; i < 1000 && status == VI_SUCCESS; ++i) status = WriteText(vi, chunk);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

TEST_F(VisaIoTest, ClearDiscardsWhatWasReceived) {
    TestServer server([](ServerConnection& c) {
        c.Send("stale reply\n");
        c.ReceiveLine();
        c.Send("fresh\n");
        c.WaitForClose();
    });
    ViSession vi = Open(server.Address());
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    std::string text;
    ASSERT_EQ(ReadText(vi, 1, text), VI_SUCCESS_MAX_CNT);  // the stale reply has arrived
    EXPECT_EQ(viClear(vi), VI_SUCCESS);
    ASSERT_EQ(WriteText(vi, "go\n"), VI_SUCCESS);
    EXPECT_EQ(ReadText(vi, 100, text), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text, "fresh\n");
}

TEST_F(VisaIoTest, InstrSessionTreatsTheReplyLineFeedAsEndAndAddsItToWrites) {
    std::promise<std::string> received;
    TestServer server([&](ServerConnection& c) {
        received.set_value(c.ReceiveLine());
        c.Send("1\n");
        c.Send("#15ab\ncd\n");  // a block whose data holds a line feed
        c.Send("#15ab\ncd\n");
        c.WaitForClose();
    });
    ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", server.Address().c_str()), VI_SUCCESS);
    ViSession vi = Open("GPIB8::1::INSTR");
    ASSERT_EQ(WriteText(vi,
                        "DATa:SOUrce\xA0"
                        "CH1"),
              VI_SUCCESS);
    EXPECT_EQ(received.get_future().get(),
              "DATa:SOUrce\xA0"
              "CH1\n");
    std::string text;
    EXPECT_EQ(ReadText(vi, 256, text), VI_SUCCESS);
    EXPECT_EQ(text, "1\n");
    EXPECT_EQ(ReadText(vi, 256, text), VI_SUCCESS);
    EXPECT_EQ(text, "#15ab\ncd\n");
    // The same block read in the pieces a waveform transfer asks for.
    EXPECT_EQ(ReadText(vi, 2, text), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(text, "#1");
    EXPECT_EQ(ReadText(vi, 1, text), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(ReadText(vi, 6, text), VI_SUCCESS);
    EXPECT_EQ(text, "ab\ncd\n");
}

TEST_F(VisaIoTest, InstrWriteAlreadyEndingInLineFeedIsSentAsIs) {
    std::promise<std::string> received;
    TestServer server([&](ServerConnection& c) {
        std::string first = c.ReceiveLine();
        received.set_value(first + c.ReceiveLine());
    });
    ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", server.Address().c_str()), VI_SUCCESS);
    ViSession vi = Open("gpib8::1::instr");
    ASSERT_EQ(WriteText(vi, "*CLS\n"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(WriteText(vi, "A"), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_SEND_END_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(WriteText(vi, "B"), VI_SUCCESS);
    EXPECT_EQ(received.get_future().get(), "*CLS\nAB\n");
}

TEST_F(VisaIoTest, AttributesHaveTheirStandardDefaultsAndChecks) {
    SilentListener listener;
    ASSERT_EQ(kvSetAlias("GPIB8::1::INSTR", listener.Address().c_str()), VI_SUCCESS);
    ViSession socket = Open(listener.Address());
    ViSession instr = Open("GPIB8::1::INSTR");
    ViUInt32 timeout = 0;
    ViUInt8 termChar = 0;
    ViBoolean enabled = VI_TRUE;
    ViUInt16 protocol = 0, port = 0;
    ViChar text[VI_FIND_BUFLEN];
    EXPECT_EQ(viGetAttribute(socket, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 2000u);
    EXPECT_EQ(viGetAttribute(socket, VI_ATTR_TERMCHAR, &termChar), VI_SUCCESS);
    EXPECT_EQ(termChar, '\n');
    EXPECT_EQ(viGetAttribute(socket, VI_ATTR_TERMCHAR_EN, &enabled), VI_SUCCESS);
    EXPECT_EQ(enabled, VI_FALSE);
    EXPECT_EQ(viGetAttribute(socket, VI_ATTR_IO_PROT, &protocol), VI_SUCCESS);
    EXPECT_EQ(protocol, VI_PROT_NORMAL);
    EXPECT_EQ(viGetAttribute(instr, VI_ATTR_IO_PROT, &protocol), VI_SUCCESS);
    EXPECT_EQ(protocol, VI_PROT_4882_STRS);
    EXPECT_EQ(viGetAttribute(instr, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
    EXPECT_STREQ(text, "GPIB8::1::INSTR");
    EXPECT_EQ(viGetAttribute(instr, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
    EXPECT_STREQ(text, "INSTR");
    EXPECT_EQ(viGetAttribute(instr, VI_ATTR_TCPIP_PORT, &port), VI_SUCCESS);
    EXPECT_EQ(port, listener.Port());

    EXPECT_EQ(viSetAttribute(socket, VI_ATTR_TMO_VALUE, 60000), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(socket, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 60000u);
    EXPECT_EQ(viSetAttribute(socket, VI_ATTR_TERMCHAR, 0x100), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(socket, VI_ATTR_TERMCHAR_EN, 7), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(socket, VI_ATTR_RSRC_NAME, 0), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(viSetAttribute(socket, 0x3FFF0FFFu, 0), VI_ERROR_NSUP_ATTR);
}

TEST_F(VisaIoTest, HandlesAndNamesAreChecked) {
    SilentListener listener;
    std::string text;
    EXPECT_EQ(ReadText(424242, 10, text), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viWrite(424242, nullptr, 0, nullptr), VI_ERROR_INV_OBJECT);
    Open("", VI_ERROR_INV_RSRC_NAME);
    Open("no resource at all", VI_ERROR_INV_RSRC_NAME);
    Open("TCPIP0::127.0.0.1::0::SOCKET", VI_ERROR_INV_RSRC_NAME);
    Open("USB0::0x0699::0x0401::C000001::INSTR", VI_ERROR_RSRC_NFOUND);
    Open("TCPIP0::192.0.2.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND);
    Open(std::string(300, 'A'), VI_ERROR_INV_RSRC_NAME);

    ViSession vi = Open(listener.Address());
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    EXPECT_EQ(viClose(vi), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClear(vi), VI_ERROR_INV_OBJECT);

    // Closing a resource manager closes the sessions opened through it.
    ViSession rm = VI_NULL, child = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, listener.Address().c_str(), VI_NO_LOCK, 0, &child), VI_SUCCESS);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(child, VI_ATTR_TMO_VALUE, 10), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(rm, listener.Address().c_str(), VI_NO_LOCK, 0, &child), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(child, static_cast<ViSession>(VI_NULL));
}

TEST_F(VisaIoTest, CloseFromAnotherThreadEndsABlockedRead) {
    TestServer server([](ServerConnection& c) { c.WaitForClose(); });
    ViSession vi = Open(server.Address());
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE);
    auto reader = std::async(std::launch::async, [vi] {
        std::string text;
        return ReadText(vi, 10, text);
    });
    // Give the read a moment to block; a close that comes first is fine too.
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    ViStatus status = reader.get();
    EXPECT_TRUE(status == VI_ERROR_CONN_LOST || status == VI_ERROR_INV_OBJECT) << status;
}

}  // namespace
}  // namespace kestrava::test

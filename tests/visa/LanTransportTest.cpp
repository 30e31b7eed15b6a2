// VXI-11 and HiSLIP sessions against scripted servers that break their protocol: every
// length is checked before anything is read into it, a lying peer ends the session with a
// status, never a crash, a hang or a giant allocation. (Sound sessions are the instrument
// tests' own, run over each transport against the simulator.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/visa/TestServer.h"
#include "tests/visa/VisaFixture.h"

namespace kestrava::test {
namespace {

std::string U32(uint32_t value) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
    return out;
}

uint32_t GetU32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// --- VXI-11: one server answers the portmapper (its own port) and then the core channel.

struct RpcCall {
    uint32_t xid = 0, procedure = 0;
};

RpcCall ReadCall(ServerConnection& connection) {
    std::string mark = connection.ReceiveExactly(4);
    if (mark.size() < 4) return {};
    std::string body = connection.ReceiveExactly(GetU32(mark, 0) & 0x7FFFFFFF);
    if (body.size() < 24) return {};
    return {GetU32(body, 0), GetU32(body, 20)};
}

std::string Reply(uint32_t xid, const std::string& results) {
    std::string body = U32(xid) + U32(1) + U32(0) + U32(0) + U32(0) + U32(0) + results;
    return U32(0x80000000u | static_cast<uint32_t>(body.size())) + body;
}

std::string Opaque(const std::string& data) {
    return U32(static_cast<uint32_t>(data.size())) + data +
           std::string((4 - data.size() % 4) % 4, '\0');
}

// What the core channel does after the link is made: given the first call (a write) and
// the connection, it plays its part.
using CoreScript = std::function<void(ServerConnection&)>;

class Vxi11Server {
  public:
    explicit Vxi11Server(CoreScript script, uint32_t linkError = 0)
        : server_([this, script, linkError](ServerConnection& connection) {
              RpcCall call = ReadCall(connection);
              if (call.procedure == 3) {  // the portmapper's GETPORT
                  connection.Send(Reply(call.xid, U32(server_.Port())));
                  return;
              }
              if (call.procedure != 10) return;
              connection.Send(Reply(call.xid, U32(linkError) + U32(7) + U32(0) + U32(4096)));
              script(connection);
          }) {
        ::setenv("KESTRAVA_PORTMAPPER_PORT", std::to_string(server_.Port()).c_str(), 1);
    }
    ~Vxi11Server() { ::unsetenv("KESTRAVA_PORTMAPPER_PORT"); }

  private:
    TestServer server_;
};

// Takes a write (answering it whole), answers the read that follows with raw, and hangs up.
CoreScript AnswerReadWith(std::function<std::string(uint32_t xid)> raw) {
    return [raw](ServerConnection& connection) {
        RpcCall write = ReadCall(connection);
        connection.Send(Reply(write.xid, U32(0) + U32(6)));
        RpcCall read = ReadCall(connection);
        connection.Send(raw(read.xid));
    };
}

class LanTransportTest : public VisaTest {
  protected:
    // Writes a query and reads the answer with a 1 s timeout.
    ViStatus Ask(const std::string& resource, std::string& reply) {
        ViSession vi = Open(resource);
        if (vi == 12345) return VI_ERROR_RSRC_NFOUND;
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 1000);
        ViStatus status = WriteText(vi, "*IDN?\n");
        if (status < VI_SUCCESS) return status;
        return ReadText(vi, 100, reply);
    }
};

TEST_F(LanTransportTest, Vxi11RepliesThatLieEndTheSessionWithAStatus) {
    struct Case {
        const char* what;
        std::function<std::string(uint32_t)> reply;
        ViStatus status;
        std::string bytes;
    };
    const Case cases[] = {
        {"data in chunks, END with the last",
         [](uint32_t xid) { return Reply(xid, U32(0) + U32(4) + Opaque("KV,1\n")); }, VI_SUCCESS,
         "KV,1\n"},
        {"more data than asked for",
         [](uint32_t xid) { return Reply(xid, U32(0) + U32(4) + Opaque(std::string(70000, 'x'))); },
         VI_ERROR_IO, ""},
        {"a record of 2 GiB announced",
         [](uint32_t) { return U32(0xFFFFFFFFu) + std::string(64, '\0'); }, VI_ERROR_IO, ""},
        {"a data length beyond the record",
         [](uint32_t xid) { return Reply(xid, U32(0) + U32(4) + U32(50) + "ab"); }, VI_ERROR_IO,
         ""},
        {"the reply of another call",
         [](uint32_t xid) { return Reply(xid + 1, U32(0) + U32(4) + Opaque("x\n")); }, VI_ERROR_IO,
         ""},
        {"gone in the middle of the record",
         [](uint32_t xid) { return Reply(xid, U32(0) + U32(4) + Opaque("KV,1\n")).substr(0, 30); },
         VI_ERROR_CONN_LOST, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Vxi11Server server(AnswerReadWith(c.reply));
        std::string reply;
        EXPECT_EQ(Ask("TCPIP0::127.0.0.1::inst0::INSTR", reply), c.status);
        EXPECT_EQ(reply, c.bytes);
    }
}

TEST_F(LanTransportTest, Vxi11OpensOnlyWhatThePortmapperAndTheDeviceGrant) {
    {
        Vxi11Server refusing([](ServerConnection&) {}, 3);  // the device is not there
        Open("TCPIP0::127.0.0.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND);
    }
    TestServer unregistered([](ServerConnection& connection) {
        connection.Send(Reply(ReadCall(connection).xid, U32(0)));  // port 0: not registered
    });
    ::setenv("KESTRAVA_PORTMAPPER_PORT", std::to_string(unregistered.Port()).c_str(), 1);
    Open("TCPIP0::127.0.0.1::INSTR", VI_ERROR_RSRC_NFOUND);
    ::setenv("KESTRAVA_PORTMAPPER_PORT", std::to_string(ClosedPort()).c_str(), 1);
    Open("TCPIP0::127.0.0.1::INSTR", VI_ERROR_RSRC_NFOUND);
    ::unsetenv("KESTRAVA_PORTMAPPER_PORT");
}

// --- HiSLIP: the synchronous channel is kept (a duplicate of its descriptor) while the
// server, which serves one connection at a time, answers the asynchronous one; then the
// script plays on the synchronous channel.

std::string Hislip(uint8_t type, uint8_t control, uint32_t parameter, const std::string& payload,
                   uint64_t length) {
    return std::string{'H', 'S', static_cast<char>(type), static_cast<char>(control)} +
           U32(parameter) + U32(static_cast<uint32_t>(length >> 32)) +
           U32(static_cast<uint32_t>(length)) + payload;
}
std::string Hislip(uint8_t type, const std::string& payload = {}) {
    return Hislip(type, 0, 0, payload, payload.size());
}

class HislipServer {
  public:
    explicit HislipServer(std::function<void(ServerConnection&)> script, bool refuse = false)
        : server_([this, script, refuse](ServerConnection& connection) {
              std::string header = connection.ReceiveExactly(16);
              if (header.size() < 16) return;
              connection.ReceiveExactly(GetU32(header, 12));
              if (header[2] == 0) {  // Initialize: keep the synchronous channel for later
                  connection.Send(refuse ? Hislip(2) : Hislip(1, 0, (0x100u << 16) | 1, {}, 0));
                  sync_ = ::dup(connection.Fd());
                  return;
              }
              connection.Send(Hislip(18));  // AsyncInitializeResponse
              connection.ReceiveExactly(16 + 8);
              connection.Send(Hislip(16, U32(0) + U32(1 << 16)));  // 64 KiB messages
              ServerConnection sync(sync_, -1);
              std::string data = sync.ReceiveExactly(16);  // the query
              sync.ReceiveExactly(GetU32(data, 12));
              script(sync);
              ::close(sync_);  // and the asynchronous channel when the handler returns
          }) {}
    std::string Address() const {
        return "TCPIP0::127.0.0.1::hislip0," + std::to_string(server_.Port()) + "::INSTR";
    }

  private:
    int sync_ = -1;
    TestServer server_;
};

TEST_F(LanTransportTest, HislipMessagesThatLieEndTheSessionWithAStatus) {
    struct Case {
        const char* what;
        std::string sent;
        ViStatus status;
        std::string bytes;
    };
    const Case cases[] = {
        {"an answer in two messages, a notice between",
         Hislip(6, "KV") + Hislip(3, "late") + Hislip(7, ",1\n"), VI_SUCCESS, "KV,1\n"},
        {"a payload of 2^63 bytes announced", Hislip(7, 0, 0, "KV", uint64_t{1} << 63), VI_ERROR_IO,
         ""},
        {"a notice of 1 GiB announced", Hislip(3, 0, 0, "", uint64_t{1} << 30), VI_ERROR_IO, ""},
        {"no HiSLIP header", "HX" + std::string(14, '\0'), VI_ERROR_IO, ""},
        {"a fatal error", Hislip(2), VI_ERROR_CONN_LOST, ""},
        {"gone in the middle of the message", Hislip(7, 0, 0, "KV", 10), VI_ERROR_CONN_LOST, "KV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HislipServer server([&](ServerConnection& sync) { sync.Send(c.sent); });
        std::string reply;
        EXPECT_EQ(Ask(server.Address(), reply), c.status);
        EXPECT_EQ(reply, c.bytes);
    }
    HislipServer refusing([](ServerConnection&) {}, true);
    Open(refusing.Address(), VI_ERROR_RSRC_NFOUND);
}

}  // namespace
}  // namespace kestrava::test

// Waveform transfer from an instrument whose replies are the input: the waveform data
// module talks through our VISA library to a scripted instrument on a loopback socket,
// which answers each query with the next reply of the script (the curve block as given,
// every other reply with a line feed added).
// Input: source, start and stop percent, then the replies, each ended by the byte 0xFF.
// KESTRAVA_FUZZ_TRACE=1 prints the commands received and the points transferred.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz/FuzzSupport.h"
#include "instrument/Wdm.h"
#include "visa/kvext.h"

using namespace kestrava;

namespace {

class ScriptedInstrument {
  public:
    ScriptedInstrument() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listen_ < 0 ||
            ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listen_, 4) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            fuzz::Fail("cannot listen on a loopback port");
        port_ = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    std::uint16_t Port() const { return port_; }

    void SetScript(std::deque<std::string> replies) {
        std::lock_guard lock(mutex_);
        replies_ = std::move(replies);
    }

  private:
    std::string NextReply(const std::string& message) {
        std::lock_guard lock(mutex_);
        std::string reply = replies_.empty() ? "0" : replies_.front();
        if (!replies_.empty()) replies_.pop_front();
        std::string upper(message);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return upper.rfind("CURVE?", 0) == 0 ? reply : reply + "\n";
    }

    void Serve() {
        for (;;) {
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string pending;
            char buffer[4096];
            for (;;) {
                ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                pending.append(buffer, static_cast<std::size_t>(got));
                std::size_t end;
                while ((end = pending.find('\n')) != std::string::npos) {
                    std::string message = pending.substr(0, end);
                    pending.erase(0, end + 1);
                    if (std::getenv("KESTRAVA_FUZZ_TRACE"))
                        std::fprintf(stderr, "<< %s\n", message.c_str());
                    if (message.find('?') == std::string::npos) continue;
                    std::string reply = NextReply(message);
                    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
            ::close(fd);
        }
    }

    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::deque<std::string> replies_;
};

ScriptedInstrument& Instrument() {
    // Lives as long as the process; its thread is never joined.
    static ScriptedInstrument* instrument = [] {
        auto* made = new ScriptedInstrument;
        std::string address = "TCPIP0::127.0.0.1::" + std::to_string(made->Port()) + "::SOCKET";
        if (kvSetAlias("GPIB8::1::INSTR", address.c_str()) != VI_SUCCESS)
            fuzz::Fail("cannot set the alias");
        WdmSetTimeouts({20, 20});  // replies come at once or never
        return made;
    }();
    return *instrument;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    ScriptedInstrument& instrument = Instrument();
    fuzz::InputReader input(data, size);
    const int source = input.Byte() % 13;  // 12 is no source at all
    const double start = input.Byte() % 101;
    const double stop = input.Byte() % 101;
    std::deque<std::string> replies;
    std::string_view rest = input.Rest();
    while (!rest.empty()) {
        std::size_t end = rest.find('\xFF');
        replies.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    instrument.SetScript(std::move(replies));

    std::uint32_t session = 0;
    if (!WdmConnect(session)) return 0;
    std::span<const float> volts = WdmGetWaveformData(source, start, stop);
    fuzz::Check(volts.size() <= 500'000'000u, "a transfer beyond the record bound");
    if (std::getenv("KESTRAVA_FUZZ_TRACE"))
        std::fprintf(stderr, "transferred %zu points\n", volts.size());
    WdmGetWaveformHeader(source);
    if (!volts.empty()) {
        WdmAddEdgeSearch(0.0f, 0.01f, kEdgeBoth, "edges");
        WdmFindEdgesInAcquiredData();
        WdmGetRisingEdgeTimes("edges");
    }
    WdmDisconnect();
    return 0;
}

// An oscilloscope simulator on a raw SCPI socket, and on request over VXI-11 and HiSLIP
// too: it accepts connections (one thread each), reads program messages ended by a line
// feed, answers them as the instrument would, keeps a journal of every message received
// and shows injected faults on request, the same whatever the protocol.
//
//   ScopeSimulator sim;
//   sim.Start(0);                  // an ephemeral port on 127.0.0.1
//   kvSetAlias("GPIB8::1::INSTR", ("TCPIP0::127.0.0.1::" + std::to_string(sim.Port()) +
//   "::SOCKET").c_str());
//   ... the program talks to it ...
//   sim.Journal();                 // {"HEADER 0", "*IDN?", ...}
//   sim.Stop();
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/kestrava-scopesim/Faults.h"
#include "tools/kestrava-scopesim/ScopeModel.h"
#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {

class HislipServer;
class Vxi11Server;

class ScopeSimulator {
  public:
    ScopeSimulator();
    ~ScopeSimulator();
    ScopeSimulator(const ScopeSimulator&) = delete;
    ScopeSimulator& operator=(const ScopeSimulator&) = delete;

    // Listens on the port (0: any free one) of the address; false with LastError() set
    // when that is impossible.
    bool Start(uint16_t port, const std::string& bindAddress = "127.0.0.1");
    uint16_t Port() const { return port_; }
    // After Start, also answers VXI-11: the core channel on port (0: any free one), found
    // through a portmapper. With portmapperPort the simulator answers the portmapper itself
    // there (0: any free one); without, it registers with the one on port 111 of this
    // machine (Debian's rpcbind) and withdraws at Stop.
    bool StartVxi11(uint16_t port, std::optional<uint16_t> portmapperPort);
    uint16_t Vxi11Port() const { return vxi11Port_; }
    uint16_t PortmapperPort() const { return portmapperPort_; }
    // After Start, also answers HiSLIP on port (4880 is the usual one; 0: any free one).
    bool StartHislip(uint16_t port);
    uint16_t HislipPort() const { return hislipPort_; }
    // Closes the listening sockets and every connection; waits for their threads.
    void Stop();
    std::string LastError() const;

    // The answer to *IDN?.
    void SetIdentity(std::string identity);
    // A source for "CH1".."CH4", "REF1".."REF4" or "MATH1".."MATH4" (any case): called at
    // every acquisition for channels and math, once for references; an empty function
    // restores the built-in pattern. False for an unknown name.
    bool SetSource(std::string_view name, WaveformSource source);
    // How long a single sequence stays busy before it triggers by itself.
    void SetBusyTime(std::chrono::milliseconds busyTime);
    // Off: a single sequence completes only on "TRIGger FORCe".
    void SetAutoTrigger(bool on);
    // The serial trigger's highest bit rate; requests beyond are clamped to it.
    void SetMaxBitRate(double bitsPerSecond);
    void InjectFault(Fault fault);
    void ClearFault(Fault fault);
    void ClearFaults();

    // Every program message received, in order, without its line feed (the last
    // kMaxJournal are kept).
    std::vector<std::string> Journal() const;
    void ClearJournal();
    // Command errors (unknown headers, bad parameters) since the last *CLS.
    std::vector<std::string> CommandErrors() const;
    uint64_t AcquisitionCount() const;
    // Instrument sessions connected and not yet closed by the peer or by Stop(): raw
    // sockets, VXI-11 core channels and HiSLIP synchronous channels (portmapper queries and
    // HiSLIP asynchronous channels are no sessions of their own).
    size_t OpenConnections();
    // Runs a message as if received, without journal; returns the reply without its line
    // feed. Faults shape the answer, but it is always given.
    std::string Ask(std::string_view message);
    // Called with each message received and each command error (for --verbose).
    void SetTrace(std::function<void(const std::string&)> trace);

    static constexpr size_t kMaxMessageBytes = 1 << 20;
    static constexpr size_t kMaxJournal = 100000;
    // A thread serves each connection; beyond this many at once a connection is closed
    // as soon as it is accepted, so a flood cannot exhaust the threads of the process.
    static constexpr size_t kMaxConnections = 64;

  private:
    friend class HislipServer;
    friend class Vxi11Server;
    enum class Kind { kRaw, kVxi11, kPortmapper, kHislip };
    struct Connection;
    struct Listener;
    bool Listen(uint16_t port, Kind kind, uint16_t& bound);
    void AcceptLoop(Listener& listener);
    void ServeRaw(int fd);
    void DiscardOverlong();
    // Journals and runs one message; the response as the model gives it.
    ScopeModel::Response Run(const std::string& message);
    // Sleeps until then; false when Stop() came first.
    bool WaitUntil(std::chrono::steady_clock::time_point then);
    bool Deliver(int fd, const std::string& message);
    void Reap(bool all);
    void Admit(int fd, Kind kind);
    void Withdraw();

    mutable std::mutex mutex_;  // guards model_, journal_, trace_
    std::unique_ptr<ScopeModel> model_;
    std::deque<std::string> journal_;
    std::function<void(const std::string&)> trace_;

    std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::list<std::unique_ptr<Listener>> listeners_;
    int wake_[2] = {-1, -1};
    std::string bindAddress_;
    uint16_t port_ = 0, vxi11Port_ = 0, portmapperPort_ = 0, hislipPort_ = 0;
    bool registered_ = false;  // with the machine's portmapper
    std::unique_ptr<Vxi11Server> vxi11_;
    std::unique_ptr<HislipServer> hislip_;
    std::string lastError_;
};

}  // namespace kestrava::scopesim

#include "tools/kestrava-scopesim/ScopeSimulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "tools/kestrava-scopesim/HislipServer.h"
#include "tools/kestrava-scopesim/MessageSplitter.h"
#include "tools/kestrava-scopesim/SocketIo.h"
#include "tools/kestrava-scopesim/Vxi11Server.h"

namespace kestrava::scopesim {

struct ScopeSimulator::Connection {
    int fd = -1;
    std::atomic<bool> finished{false};
    std::atomic<bool> session{true};
    std::thread thread;
};

struct ScopeSimulator::Listener {
    int fd = -1;
    Kind kind = Kind::kRaw;
    std::thread acceptor;
};

ScopeSimulator::ScopeSimulator() : model_(std::make_unique<ScopeModel>()) {}

ScopeSimulator::~ScopeSimulator() {
    Stop();
}

bool ScopeSimulator::Listen(uint16_t port, Kind kind, uint16_t& bound) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    int rc = ::getaddrinfo(bindAddress_.empty() ? nullptr : bindAddress_.c_str(), service.c_str(),
                           &hints, &list);
    if (rc != 0 || !list) {
        lastError_ = "cannot resolve " + bindAddress_ + ": " + ::gai_strerror(rc);
        return false;
    }
    int fd = ::socket(list->ai_family, list->ai_socktype | SOCK_CLOEXEC, list->ai_protocol);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, list->ai_addr, list->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        lastError_ =
            "cannot listen on " + bindAddress_ + " port " + service + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        ::freeaddrinfo(list);
        return false;
    }
    ::freeaddrinfo(list);
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    auto listener = std::make_unique<Listener>();
    listener->fd = fd;
    listener->kind = kind;
    Listener& ref = *listener;
    listeners_.push_back(std::move(listener));
    ref.acceptor = std::thread([this, &ref] { AcceptLoop(ref); });
    return true;
}

bool ScopeSimulator::Start(uint16_t port, const std::string& bindAddress) {
    if (!listeners_.empty()) {
        lastError_ = "already started";
        return false;
    }
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        lastError_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    bindAddress_ = bindAddress;
    if (Listen(port, Kind::kRaw, port_)) return true;
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    return false;
}

bool ScopeSimulator::StartVxi11(uint16_t port, std::optional<uint16_t> portmapperPort) {
    if (listeners_.empty() || vxi11_) {
        lastError_ = listeners_.empty() ? "not started" : "VXI-11 already started";
        return false;
    }
    vxi11_ = std::make_unique<Vxi11Server>(*this);
    if (!Listen(port, Kind::kVxi11, vxi11Port_)) return false;
    if (portmapperPort) return Listen(*portmapperPort, Kind::kPortmapper, portmapperPort_);
    // A registration left by a simulator that was killed is taken over.
    std::string error;
    if (!Vxi11Server::Register(vxi11Port_, true, error) &&
        (!Vxi11Server::Register(vxi11Port_, false, error) ||
         !Vxi11Server::Register(vxi11Port_, true, error))) {
        lastError_ =
            "cannot register with the portmapper on port 111 (" + error +
            "); start rpcbind, or let the simulator answer the portmapper itself (--portmapper)";
        return false;
    }
    registered_ = true;
    portmapperPort_ = 111;
    return true;
}

bool ScopeSimulator::StartHislip(uint16_t port) {
    if (listeners_.empty() || hislip_) {
        lastError_ = listeners_.empty() ? "not started" : "HiSLIP already started";
        return false;
    }
    hislip_ = std::make_unique<HislipServer>(*this);
    return Listen(port, Kind::kHislip, hislipPort_);
}

void ScopeSimulator::Withdraw() {
    if (!registered_) return;
    std::string error;
    Vxi11Server::Register(vxi11Port_, false, error);
    registered_ = false;
}

void ScopeSimulator::Stop() {
    if (listeners_.empty()) return;
    Withdraw();
    char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
    for (auto& listener : listeners_) listener->acceptor.join();
    Reap(true);
    for (auto& listener : listeners_) ::close(listener->fd);
    listeners_.clear();
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    vxi11_.reset();
    hislip_.reset();
    port_ = vxi11Port_ = portmapperPort_ = hislipPort_ = 0;
}

std::string ScopeSimulator::LastError() const {
    return lastError_;
}

void ScopeSimulator::AcceptLoop(Listener& listener) {
    for (;;) {
        pollfd p[2] = {{listener.fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Reap(false);
        Admit(fd, listener.kind);
    }
}

// Serves the connection on a thread of its own, or closes it when the cap is reached or
// no thread can be had.
void ScopeSimulator::Admit(int fd, Kind kind) {
    std::lock_guard lock(connectionsMutex_);
    if (connections_.size() >= kMaxConnections) {
        ::close(fd);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->session = kind != Kind::kPortmapper;
    Connection& ref = *connection;
    try {
        ref.thread = std::thread([this, &ref, kind] {
            switch (kind) {
                case Kind::kRaw:
                    ServeRaw(ref.fd);
                    break;
                case Kind::kVxi11:
                    vxi11_->ServeCore(ref.fd);
                    break;
                case Kind::kPortmapper:
                    vxi11_->ServePortmapper(ref.fd);
                    break;
                case Kind::kHislip:
                    hislip_->Serve(ref.fd, ref.session);
                    break;
            }
            ::shutdown(ref.fd, SHUT_RDWR);
            ref.finished = true;
        });
    } catch (const std::system_error&) {
        ::close(fd);
        return;
    }
    connections_.push_back(std::move(connection));
}

void ScopeSimulator::Reap(bool all) {
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->finished) {
                if (all) ::shutdown((*it)->fd, SHUT_RDWR);
                done.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : done) {
        if (connection->thread.joinable()) connection->thread.join();
        ::close(connection->fd);
    }
}

ScopeModel::Response ScopeSimulator::Run(const std::string& message) {
    std::lock_guard lock(mutex_);
    journal_.push_back(message);
    if (journal_.size() > kMaxJournal) journal_.pop_front();
    size_t errorsBefore = model_->State().errors.size();
    ScopeModel::Response response = model_->Process(message);
    if (trace_) {
        trace_("<- " + message);
        const auto& errors = model_->State().errors;
        for (size_t i = errorsBefore; i < errors.size(); ++i) trace_("!! " + errors[i]);
    }
    return response;
}

bool ScopeSimulator::WaitUntil(std::chrono::steady_clock::time_point then) {
    auto wait = then - std::chrono::steady_clock::now();
    int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    pollfd p{wake_[0], POLLIN, 0};
    return ms <= 0 || ::poll(&p, 1, ms) == 0;
}

// Runs one message and sends its answer; false when the connection is to end.
bool ScopeSimulator::Deliver(int fd, const std::string& message) {
    ScopeModel::Response response = Run(message);
    // Hold the answer (e.g. *OPC?) until the sequence is done, or until Stop().
    if (response.notBefore && !WaitUntil(*response.notBefore)) return false;
    if (response.reply.empty()) return true;
    if (response.disconnectAfter) {
        SendAll(fd, response.reply.data(),
                std::min(*response.disconnectAfter, response.reply.size()));
        return false;
    }
    return SendAll(fd, response.reply.data(), response.reply.size());
}

void ScopeSimulator::DiscardOverlong() {
    std::lock_guard lock(mutex_);
    ScopeState& state = model_->State();
    state.errors.push_back("message longer than " + std::to_string(kMaxMessageBytes) +
                           " bytes discarded");
    state.commandErrorPending = true;
    if (trace_) trace_("!! " + state.errors.back());
}

void ScopeSimulator::ServeRaw(int fd) {
    MessageSplitter splitter(
        kMaxMessageBytes, [&](const std::string& message) { return Deliver(fd, message); },
        [this] { DiscardOverlong(); });
    char buffer[65536];
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (!splitter.Feed(buffer, static_cast<size_t>(n))) break;
    }
}

void ScopeSimulator::SetIdentity(std::string identity) {
    std::lock_guard lock(mutex_);
    model_->State().identity = std::move(identity);
}

bool ScopeSimulator::SetSource(std::string_view name, WaveformSource source) {
    std::optional<int> index = SourceFromName(name);
    if (!index) return false;
    std::lock_guard lock(mutex_);
    model_->State().SetSource(*index, std::move(source));
    return true;
}

void ScopeSimulator::SetBusyTime(std::chrono::milliseconds busyTime) {
    std::lock_guard lock(mutex_);
    model_->State().busyTime = busyTime;
}

void ScopeSimulator::SetAutoTrigger(bool on) {
    std::lock_guard lock(mutex_);
    model_->State().autoTrigger = on;
}

void ScopeSimulator::SetMaxBitRate(double bitsPerSecond) {
    std::lock_guard lock(mutex_);
    ScopeState& state = model_->State();
    state.maxBitRate = bitsPerSecond;
    state.bitRate = std::min(state.bitRate, bitsPerSecond);
}

void ScopeSimulator::InjectFault(Fault fault) {
    std::lock_guard lock(mutex_);
    model_->State().faults.insert(fault);
}

void ScopeSimulator::ClearFault(Fault fault) {
    std::lock_guard lock(mutex_);
    model_->State().faults.erase(fault);
    if (fault == Fault::kSilentFromCurve) model_->State().silent = false;
}

void ScopeSimulator::ClearFaults() {
    std::lock_guard lock(mutex_);
    model_->State().faults.clear();
    model_->State().silent = false;
}

std::vector<std::string> ScopeSimulator::Journal() const {
    std::lock_guard lock(mutex_);
    return {journal_.begin(), journal_.end()};
}

void ScopeSimulator::ClearJournal() {
    std::lock_guard lock(mutex_);
    journal_.clear();
}

std::vector<std::string> ScopeSimulator::CommandErrors() const {
    std::lock_guard lock(mutex_);
    return model_->State().errors;
}

uint64_t ScopeSimulator::AcquisitionCount() const {
    std::lock_guard lock(mutex_);
    return model_->State().acquisitions;
}

size_t ScopeSimulator::OpenConnections() {
    std::lock_guard lock(connectionsMutex_);
    size_t open = 0;
    for (const auto& connection : connections_)
        open += connection->finished || !connection->session ? 0 : 1;
    return open;
}

std::string ScopeSimulator::Ask(std::string_view message) {
    std::lock_guard lock(mutex_);
    std::string reply = model_->Process(message, false).reply;
    if (!reply.empty() && reply.back() == '\n') reply.pop_back();
    return reply;
}

void ScopeSimulator::SetTrace(std::function<void(const std::string&)> trace) {
    std::lock_guard lock(mutex_);
    trace_ = std::move(trace);
}

}  // namespace kestrava::scopesim

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

#include "tools/kestrava-scopesim/ScopeModel.h"

namespace kestrava::scopesim {

struct ScopeSimulator::Connection {
    int fd = -1;
    std::atomic<bool> finished{false};
    std::thread thread;
};

ScopeSimulator::ScopeSimulator() : model_(std::make_unique<ScopeModel>()) {}

ScopeSimulator::~ScopeSimulator() {
    Stop();
}

bool ScopeSimulator::Start(uint16_t port, const std::string& bindAddress) {
    if (listenFd_ >= 0) {
        lastError_ = "already started";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    int rc = ::getaddrinfo(bindAddress.empty() ? nullptr : bindAddress.c_str(), service.c_str(),
                           &hints, &list);
    if (rc != 0 || !list) {
        lastError_ = "cannot resolve " + bindAddress + ": " + ::gai_strerror(rc);
        return false;
    }
    int fd = ::socket(list->ai_family, list->ai_socktype | SOCK_CLOEXEC, list->ai_protocol);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, list->ai_addr, list->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        lastError_ =
            "cannot listen on " + bindAddress + " port " + service + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        ::freeaddrinfo(list);
        return false;
    }
    ::freeaddrinfo(list);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        lastError_ = std::string("pipe: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ScopeSimulator::Stop() {
    if (listenFd_ < 0) return;
    char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
    acceptor_.join();
    Reap(true);
    ::close(listenFd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    listenFd_ = -1;
    wake_[0] = wake_[1] = -1;
}

std::string ScopeSimulator::LastError() const {
    return lastError_;
}

void ScopeSimulator::AcceptLoop() {
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Reap(false);
        Admit(fd);
    }
}

// Serves the connection on a thread of its own, or closes it when the cap is reached or
// no thread can be had.
void ScopeSimulator::Admit(int fd) {
    std::lock_guard lock(connectionsMutex_);
    if (connections_.size() >= kMaxConnections) {
        ::close(fd);
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection& ref = *connection;
    try {
        ref.thread = std::thread([this, &ref] {
            Serve(ref);
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

bool ScopeSimulator::SendAll(int fd, const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Runs one message and sends its answer; false when the connection is to end.
bool ScopeSimulator::Deliver(Connection& connection, const std::string& message) {
    ScopeModel::Response response;
    {
        std::lock_guard lock(mutex_);
        journal_.push_back(message);
        if (journal_.size() > kMaxJournal) journal_.pop_front();
        size_t errorsBefore = model_->State().errors.size();
        response = model_->Process(message);
        if (trace_) {
            trace_("<- " + message);
            const auto& errors = model_->State().errors;
            for (size_t i = errorsBefore; i < errors.size(); ++i) trace_("!! " + errors[i]);
        }
    }
    if (response.notBefore) {
        // Hold the answer (e.g. *OPC?) until the sequence is done, or until Stop().
        auto wait = response.notBefore.value() - std::chrono::steady_clock::now();
        int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
        pollfd p{wake_[0], POLLIN, 0};
        if (ms > 0 && ::poll(&p, 1, ms) != 0) return false;
    }
    if (response.reply.empty()) return true;
    if (response.disconnectAfter) {
        SendAll(connection.fd, response.reply.data(),
                std::min(*response.disconnectAfter, response.reply.size()));
        return false;
    }
    return SendAll(connection.fd, response.reply.data(), response.reply.size());
}

void ScopeSimulator::DiscardOverlong() {
    std::lock_guard lock(mutex_);
    ScopeState& state = model_->State();
    state.errors.push_back("message longer than " + std::to_string(kMaxMessageBytes) +
                           " bytes discarded");
    state.commandErrorPending = true;
    if (trace_) trace_("!! " + state.errors.back());
}

void ScopeSimulator::Serve(Connection& connection) {
    std::string pending;
    bool discarding = false;  // inside a message that grew past the bound
    char buffer[65536];
    for (;;) {
        pollfd p[2] = {{connection.fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents) break;
        ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size_t start = 0;
        bool open = true;
        for (size_t i = 0; i < static_cast<size_t>(n) && open; ++i) {
            if (buffer[i] != '\n') continue;
            if (!discarding && pending.size() + (i - start) > kMaxMessageBytes) {
                DiscardOverlong();
            } else if (!discarding) {
                pending.append(buffer + start, i - start);
                open = Deliver(connection, pending);
            }
            pending.clear();
            discarding = false;
            start = i + 1;
        }
        if (!open) break;
        if (!discarding) pending.append(buffer + start, static_cast<size_t>(n) - start);
        if (!discarding && pending.size() > kMaxMessageBytes) {
            DiscardOverlong();
            pending.clear();
            discarding = true;
        }
    }
    ::shutdown(connection.fd, SHUT_RDWR);
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
    for (const auto& connection : connections_) open += connection->finished ? 0 : 1;
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

#include "tools/kestrava-scopesim/Vxi11Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "tools/kestrava-scopesim/MessageSplitter.h"
#include "tools/kestrava-scopesim/ScopeSimulator.h"
#include "tools/kestrava-scopesim/SocketIo.h"

namespace kestrava::scopesim {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kPortmapper = 100000, kPortmapperVersion = 2;
constexpr uint32_t kCore = 0x0607AF, kCoreVersion = 1, kTcp = 6;
constexpr uint32_t kLastFragment = 0x80000000u;
constexpr size_t kMaxAuth = 400;
constexpr size_t kMaxDeviceName = 256;
// accept_stat values of a reply.
constexpr uint32_t kSuccess = 0, kProgUnavail = 1, kProgMismatch = 2, kProcUnavail = 3,
                   kGarbageArgs = 4;
// Device_ErrorCode values.
constexpr uint32_t kNoError = 0, kNotAccessible = 3, kInvalidLink = 4, kNotSupported = 8,
                   kIoTimeout = 15;
constexpr uint32_t kFlagEnd = 0x08;
// Device_ReadResp reasons.
constexpr uint32_t kReasonCount = 1, kReasonEnd = 4;

class In {
  public:
    explicit In(const Bytes& bytes) : bytes_(bytes) {}
    uint32_t U32() {
        if (bad_ || bytes_.size() - at_ < 4) {
            bad_ = true;
            return 0;
        }
        uint32_t value = (uint32_t{bytes_[at_]} << 24) | (uint32_t{bytes_[at_ + 1]} << 16) |
                         (uint32_t{bytes_[at_ + 2]} << 8) | bytes_[at_ + 3];
        at_ += 4;
        return value;
    }
    std::string Opaque(size_t maxSize) {
        uint32_t size = U32();
        size_t padded = (size_t{size} + 3) & ~size_t{3};
        if (bad_ || size > maxSize || bytes_.size() - at_ < padded) {
            bad_ = true;
            return {};
        }
        std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
        at_ += padded;
        return text;
    }
    bool Bad() const { return bad_; }

  private:
    const Bytes& bytes_;
    size_t at_ = 0;
    bool bad_ = false;
};

void Put(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutOpaque(Bytes& out, std::string_view data) {
    Put(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + (4 - data.size() % 4) % 4, 0);
}

// One whole record, its fragments joined; false on a closed connection, a stop, or a
// record beyond the bound.
bool ReadRecord(int fd, int wakeFd, size_t maxSize, Bytes& record) {
    record.clear();
    for (;;) {
        uint8_t mark[4];
        if (!ReceiveExactly(fd, wakeFd, mark, 4)) return false;
        uint32_t value = (uint32_t{mark[0]} << 24) | (uint32_t{mark[1]} << 16) |
                         (uint32_t{mark[2]} << 8) | mark[3];
        size_t length = value & ~kLastFragment;
        if (length > maxSize - record.size()) return false;
        size_t at = record.size();
        record.resize(at + length);
        if (!ReceiveExactly(fd, wakeFd, record.data() + at, length)) return false;
        if (value & kLastFragment) return true;
    }
}

bool SendReply(int fd, uint32_t xid, uint32_t acceptStat, const Bytes& results) {
    Bytes out;
    Put(out, kLastFragment | static_cast<uint32_t>(24 + results.size()));
    for (uint32_t field : {xid, 1u, 0u, 0u, 0u, acceptStat}) Put(out, field);
    out.insert(out.end(), results.begin(), results.end());
    return SendAll(fd, out.data(), out.size());
}

struct Call {
    uint32_t xid = 0, program = 0, version = 0, procedure = 0;
};

// The call's header; false when the record is no call.
bool ReadCall(In& in, Call& call) {
    call.xid = in.U32();
    uint32_t type = in.U32(), rpcVersion = in.U32();
    call.program = in.U32();
    call.version = in.U32();
    call.procedure = in.U32();
    for (int auth = 0; auth < 2; ++auth) {
        in.U32();
        in.Opaque(kMaxAuth);
    }
    return !in.Bad() && type == 0 && rpcVersion == 2;
}

bool SendMismatch(int fd, uint32_t xid, uint32_t version) {
    Bytes range;
    Put(range, version);
    Put(range, version);
    return SendReply(fd, xid, kProgMismatch, range);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

struct Vxi11Server::Link {
    struct Out {
        std::string bytes;
        size_t at = 0;
        Clock::time_point readyAt;
        bool hangUp = false;  // the connection ends once these bytes are read
    };
    explicit Link(ScopeSimulator& sim)
        : splitter(
              ScopeSimulator::kMaxMessageBytes,
              [this](const std::string& message) {
                  inbox.push_back(message);
                  return true;
              },
              [&sim] { sim.DiscardOverlong(); }) {}

    std::deque<std::string> inbox;
    std::deque<Out> outbox;
    Clock::time_point holdUntil{};
    bool ending = false;
    MessageSplitter splitter;
};

// Runs the messages received, in order, as far as no held answer stands in the way: a
// message after a held one waits, as on a raw socket.
void Vxi11Server::Pump(Link& link) {
    Clock::time_point now = Clock::now();
    while (!link.ending && !link.inbox.empty() && now >= link.holdUntil) {
        ScopeModel::Response response = sim_.Run(link.inbox.front());
        link.inbox.pop_front();
        Link::Out out;
        out.readyAt = response.notBefore.value_or(now);
        if (response.notBefore) link.holdUntil = *response.notBefore;
        out.bytes = std::move(response.reply);
        if (response.disconnectAfter) {
            out.bytes.resize(std::min(*response.disconnectAfter, out.bytes.size()));
            out.hangUp = link.ending = true;
        }
        if (!out.bytes.empty() || out.hangUp) link.outbox.push_back(std::move(out));
        now = Clock::now();
    }
}

void Vxi11Server::ServeCore(int fd) {
    const int wakeFd = sim_.wake_[0];
    std::map<uint32_t, Link> links;
    uint32_t nextLink = 1;
    Bytes record;
    while (ReadRecord(fd, wakeFd, kMaxRecord, record)) {
        In in(record);
        Call call;
        if (!ReadCall(in, call)) return;
        if (call.program != kCore) {
            if (!SendReply(fd, call.xid, kProgUnavail, {})) return;
            continue;
        }
        if (call.version != kCoreVersion) {
            if (!SendMismatch(fd, call.xid, kCoreVersion)) return;
            continue;
        }
        Bytes results;
        uint32_t acceptStat = kSuccess;
        auto linkOf = [&](uint32_t id) -> Link* {
            auto it = links.find(id);
            return it == links.end() ? nullptr : &it->second;
        };
        switch (call.procedure) {
            case 0:  // NULL
                break;
            case 10: {  // create_link
                in.U32();
                in.U32();
                in.U32();
                std::string device = in.Opaque(kMaxDeviceName);
                if (in.Bad()) {
                    acceptStat = kGarbageArgs;
                } else if (Lower(device) != "inst0") {
                    for (uint32_t field : {kNotAccessible, 0u, 0u, 0u}) Put(results, field);
                } else {
                    uint32_t id = nextLink++;
                    links.try_emplace(id, sim_);
                    for (uint32_t field : {kNoError, id, 0u, kMaxTransfer}) Put(results, field);
                }
                break;
            }
            case 11: {  // device_write
                uint32_t id = in.U32();
                in.U32();
                in.U32();
                const bool end = in.U32() & kFlagEnd;
                std::string data = in.Opaque(kMaxTransfer);
                Link* link = linkOf(id);
                if (in.Bad()) {
                    acceptStat = kGarbageArgs;
                } else if (!link) {
                    Put(results, kInvalidLink);
                    Put(results, 0);
                } else {
                    // END ends the program message, line feed or not.
                    if (end && (data.empty() || data.back() != '\n')) data += '\n';
                    if (!link->ending) link->splitter.Feed(data.data(), data.size());
                    Pump(*link);
                    Put(results, kNoError);
                    Put(results, static_cast<uint32_t>(data.size()));
                }
                break;
            }
            case 12: {  // device_read
                uint32_t id = in.U32(), count = in.U32(), timeoutMs = in.U32();
                Link* link = linkOf(id);
                if (in.Bad()) {
                    acceptStat = kGarbageArgs;
                } else if (!link) {
                    for (uint32_t field : {kInvalidLink, 0u, 0u}) Put(results, field);
                } else {
                    std::optional<Clock::time_point> deadline;
                    if (timeoutMs != 0xFFFFFFFFu)
                        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
                    std::string data;
                    uint32_t reason = 0, error = kNoError;
                    for (;;) {
                        Pump(*link);
                        Clock::time_point now = Clock::now();
                        if (!link->outbox.empty() && link->outbox.front().readyAt <= now) {
                            Link::Out& out = link->outbox.front();
                            if (out.at == out.bytes.size()) return;  // the hang-up
                            size_t n =
                                std::min<size_t>({count, out.bytes.size() - out.at, kMaxTransfer});
                            data = out.bytes.substr(out.at, n);
                            out.at += n;
                            if (n == count) reason |= kReasonCount;
                            if (out.at == out.bytes.size() && !out.hangUp) {
                                reason |= kReasonEnd;
                                link->outbox.pop_front();
                            }
                            break;
                        }
                        if (deadline && now >= *deadline) {
                            error = kIoTimeout;
                            break;
                        }
                        // Sleep until the answer may be ready, the client's timeout, a
                        // stop, or the client going away.
                        std::optional<Clock::time_point> until = deadline;
                        auto sooner = [&](Clock::time_point t) {
                            if (!until || t < *until) until = t;
                        };
                        if (!link->outbox.empty()) sooner(link->outbox.front().readyAt);
                        if (!link->inbox.empty() && !link->ending) sooner(link->holdUntil);
                        int ms = -1;
                        if (until)
                            ms = static_cast<int>(std::max<int64_t>(
                                0, std::chrono::ceil<std::chrono::milliseconds>(*until - now)
                                       .count()));
                        pollfd p[2] = {{fd, POLLRDHUP, 0}, {wakeFd, POLLIN, 0}};
                        int ready = ::poll(p, 2, ms);
                        if (ready > 0) return;  // stopping, or the client went away
                    }
                    Put(results, error);
                    Put(results, reason);
                    PutOpaque(results, data);
                }
                break;
            }
            case 13:  // device_readstb: no service request pending
                Put(results, linkOf(in.U32()) ? kNoError : kInvalidLink);
                Put(results, 0);
                break;
            case 15: {  // device_clear: what is pending for the link goes
                Link* link = linkOf(in.U32());
                if (link && !link->ending) {
                    link->inbox.clear();
                    link->outbox.clear();
                    link->splitter.Clear();
                }
                Put(results, link ? kNoError : kInvalidLink);
                break;
            }
            case 14:  // device_trigger
            case 16:  // device_remote
            case 17:  // device_local
            case 18:  // device_lock: the VISA library locks for itself
            case 19:  // device_unlock
                Put(results, linkOf(in.U32()) ? kNoError : kInvalidLink);
                break;
            case 20:  // device_enable_srq
            case 25:  // create_intr_chan
            case 26:  // destroy_intr_chan
                Put(results, kNotSupported);
                break;
            case 22:  // device_docmd
                Put(results, kNotSupported);
                Put(results, 0);
                break;
            case 23:  // destroy_link
                Put(results, links.erase(in.U32()) ? kNoError : kInvalidLink);
                break;
            default:
                acceptStat = kProcUnavail;
        }
        if (!SendReply(fd, call.xid, acceptStat, results)) return;
    }
}

void Vxi11Server::ServePortmapper(int fd) {
    const int wakeFd = sim_.wake_[0];
    Bytes record;
    while (ReadRecord(fd, wakeFd, 4096, record)) {
        In in(record);
        Call call;
        if (!ReadCall(in, call)) return;
        Bytes results;
        uint32_t acceptStat = kSuccess;
        if (call.program != kPortmapper) {
            acceptStat = kProgUnavail;
        } else if (call.version != kPortmapperVersion) {
            // Clients that try the newer rpcbind versions first fall back to this one.
            if (!SendMismatch(fd, call.xid, kPortmapperVersion)) return;
            continue;
        } else if (call.procedure == 0) {
        } else if (call.procedure == 1 || call.procedure == 2) {  // SET, UNSET: refused
            Put(results, 0);
        } else if (call.procedure == 3) {  // GETPORT
            uint32_t program = in.U32(), version = in.U32(), protocol = in.U32();
            in.U32();
            bool ours = program == kCore && version == kCoreVersion && protocol == kTcp;
            if (in.Bad())
                acceptStat = kGarbageArgs;
            else
                Put(results, ours ? sim_.Vxi11Port() : 0);
        } else if (call.procedure == 4) {  // DUMP
            for (auto [program, version, port] :
                 {std::tuple{kCore, kCoreVersion, uint32_t{sim_.Vxi11Port()}},
                  std::tuple{kPortmapper, kPortmapperVersion, uint32_t{sim_.PortmapperPort()}}}) {
                for (uint32_t field : {1u, program, version, kTcp, port}) Put(results, field);
            }
            Put(results, 0);
        } else {
            acceptStat = kProcUnavail;
        }
        if (!SendReply(fd, call.xid, acceptStat, results)) return;
    }
}

bool Vxi11Server::Register(uint16_t corePort, bool set, std::string& error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(111);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Bytes call;
    Put(call, kLastFragment | 56);
    for (uint32_t field : {0x4B53u, 0u, 2u, kPortmapper, kPortmapperVersion, set ? 1u : 2u, 0u, 0u,
                           0u, 0u, kCore, kCoreVersion, kTcp, uint32_t{corePort}})
        Put(call, field);
    bool done = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = std::strerror(errno);
    } else if (!SendAll(fd, call.data(), call.size())) {
        error = "the portmapper did not take the call";
    } else {
        // The reply: mark, xid, REPLY, accepted, empty verifier, SUCCESS, the boolean.
        uint8_t reply[32];
        size_t got = 0;
        while (got < sizeof reply) {
            ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got < sizeof reply) {
            error = "no answer from the portmapper";
        } else {
            done = reply[31] == 1 && reply[27] == 0 && reply[15] == 0;
            if (!done) error = "the portmapper refused the registration";
        }
    }
    ::close(fd);
    return done;
}

}  // namespace kestrava::scopesim

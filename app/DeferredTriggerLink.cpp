#include "app/DeferredTriggerLink.h"

#include <utility>

namespace kestrava {

int DeferredTriggerLink::OpenConnection() {
    calls_.push_back({Call::kOpen, {}, false});
    return 1;
}

int DeferredTriggerLink::CloseConnection(bool close) {
    calls_.push_back({Call::kClose, {}, close});
    return 1;
}

int DeferredTriggerLink::Write(const std::string& command) {
    calls_.push_back({Call::kWrite, command, false});
    return 1;
}

int DeferredTriggerLink::Read(std::string& reply) {
    reply.clear();
    calls_.push_back({Call::kRead, {}, false});
    return 1;
}

std::vector<DeferredTriggerLink::Call> DeferredTriggerLink::Take() {
    return std::exchange(calls_, {});
}

void DeferredTriggerLink::Replay(const std::vector<Call>& calls, ITriggerLink& link) {
    std::string reply;
    for (const Call& call : calls) {
        switch (call.kind) {
            case Call::kOpen:
                link.OpenConnection();
                break;
            case Call::kClose:
                link.CloseConnection(call.close);
                break;
            case Call::kWrite:
                link.Write(call.text);
                break;
            case Call::kRead:
                link.Read(reply);
                break;
        }
    }
}

}  // namespace kestrava

#include "tools/kestrava-scopesim/MessageSplitter.h"

namespace kestrava::scopesim {

bool MessageSplitter::Feed(const char* data, size_t size) {
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') continue;
        bool open = true;
        if (!discarding_ && pending_.size() + (i - start) > maxBytes_) {
            overlong_();
        } else if (!discarding_) {
            pending_.append(data + start, i - start);
            open = deliver_(pending_);
        }
        pending_.clear();
        discarding_ = false;
        start = i + 1;
        if (!open) return false;
    }
    if (!discarding_) pending_.append(data + start, size - start);
    if (!discarding_ && pending_.size() > maxBytes_) {
        overlong_();
        pending_.clear();
        discarding_ = true;
    }
    return true;
}

void MessageSplitter::Clear() {
    pending_.clear();
    discarding_ = false;
}

}  // namespace kestrava::scopesim

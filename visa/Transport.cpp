#include "visa/Transport.h"

#include <algorithm>
#include <climits>

namespace kestrava::visa {

Deadline Deadline::AfterMs(uint32_t timeoutMs) {
    Deadline deadline;
    if (timeoutMs == 0xFFFFFFFFu) return deadline;
    deadline.never_ = false;
    deadline.at_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return deadline;
}

int Deadline::PollMs() const {
    if (never_) return -1;
    auto left = at_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

}  // namespace kestrava::visa

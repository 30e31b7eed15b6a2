// Whether another session could take the instrument's lock at once: what a test asks to
// prove that nothing was left locked.
#pragma once

#include <string>

#include "visa/visa.h"

namespace kestrava::test {

inline bool InstrumentUnlockedAt(const std::string& address, ViUInt32 waitMs = 50) {
    ViSession manager = VI_NULL, other = VI_NULL;
    if (viOpenDefaultRM(&manager) < VI_SUCCESS) return false;
    bool free = false;
    if (viOpen(manager, address.c_str(), VI_NO_LOCK, 0, &other) >= VI_SUCCESS) {
        free = viLock(other, VI_EXCLUSIVE_LOCK, waitMs, VI_NULL, VI_NULL) >= VI_SUCCESS;
        if (free) viUnlock(other);
    }
    viClose(manager);
    return free;
}

}  // namespace kestrava::test

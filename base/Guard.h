// Failure containment: an operation that fails is logged with its class source and its
// own name, and the caller carries on as if it had finished. Nothing is rethrown.
#pragma once

#include <string>
#include <utility>

#include "base/Log.h"

namespace kestrava {

// Runs fn(); on any exception writes an error entry (source, method) and returns false.
template <class Fn>
bool Guard(const std::string& source, const char* method, Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (...) {
        WriteLog(source, method, kLogError);
        return false;
    }
}

// Like Guard, for operations with a result: the fallback is returned after a failure.
template <class R, class Fn>
R GuardOr(R fallback, const std::string& source, const char* method, Fn&& fn) noexcept {
    try {
        return std::forward<Fn>(fn)();
    } catch (...) {
        WriteLog(source, method, kLogError);
        return fallback;
    }
}

}  // namespace kestrava

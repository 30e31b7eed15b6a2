// The exclusive lock of one session on one resource. It nests, waits up to a timeout,
// and excludes other sessions in this process and in every other process using this
// library: each holder keeps flock() on <folder>/kestrava-visa-<resource>.lock through
// its own open file description, polled until the lock is free or the time is up. The
// folder is one for every program: $XDG_RUNTIME_DIR, else /run/lock when writable, else /tmp.
#pragma once

#include <cstdint>
#include <string>

#include "visa/visa.h"

namespace kestrava::visa {

class ResourceLock {
  public:
    // key names the resource (numeric address and port, or a loopback peer's name); owner
    // is the session that will hold it.
    ResourceLock(std::string key, ViSession owner);
    ~ResourceLock();
    ResourceLock(const ResourceLock&) = delete;
    ResourceLock& operator=(const ResourceLock&) = delete;

    // VI_SUCCESS, VI_SUCCESS_NESTED_EXCLUSIVE (already held, depth raised), VI_ERROR_TMO,
    // or VI_ERROR_SYSTEM_ERROR when the lock file cannot be opened.
    ViStatus Acquire(uint32_t timeoutMs);
    // VI_SUCCESS (released), VI_SUCCESS_NESTED_EXCLUSIVE (still held), VI_ERROR_SESN_NLOCKED.
    ViStatus Release();
    bool Held() const { return depth_ > 0; }

    // True when another session of this process holds the resource's lock.
    static bool HeldByOther(const std::string& key, ViSession session);
    // True when any session of this process holds it.
    static bool HeldByAny(const std::string& key);
    // The lock file path of a resource key.
    static std::string PathFor(const std::string& key);

  private:
    std::string key_;
    ViSession owner_;
    int fd_ = -1;
    unsigned depth_ = 0;
};

}  // namespace kestrava::visa

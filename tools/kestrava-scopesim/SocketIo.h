// Blocking socket helpers of the simulator's servers: whole sends without SIGPIPE, and
// exact receives that also end when the simulator stops (its wake pipe turns readable).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrava::scopesim {

bool SendAll(int fd, const void* data, size_t size);
// False when the peer closed, the connection failed or wakeFd became readable first.
bool ReceiveExactly(int fd, int wakeFd, void* buffer, size_t size);

}  // namespace kestrava::scopesim

// A small store of freed large memory blocks, handed out again to the next allocation
// they are big enough for. Blocks below kMinimumBytes go straight to the heap.
#pragma once

#include <cstddef>

namespace kestrava::RecycledBlocks {

inline constexpr std::size_t kMinimumBytes = std::size_t{1} << 20;
// At most this many blocks, and this many bytes in all, are kept unused.
inline constexpr std::size_t kKeptBlocks = 6;
inline constexpr std::size_t kKeptBytes = std::size_t{1} << 30;

// At least bytes of memory, aligned for any type; throws std::bad_alloc when there is none.
void* Allocate(std::size_t bytes);
// Takes back a block from Allocate, with the size it was asked for.
void Release(void* block, std::size_t bytes) noexcept;
// Hands every kept block back to the system.
void ReleaseKept() noexcept;
// Bytes kept unused right now.
std::size_t KeptBytes() noexcept;

}  // namespace kestrava::RecycledBlocks

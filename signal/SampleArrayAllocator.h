// The allocator of the per-sample arrays. Value-less construction leaves trivial elements
// uninitialised: the arrays are sized and then written whole, so zero-filling them first
// is wasted. Large blocks go through the recycled-block store, so that loading one
// capture after another reuses memory already faulted in instead of having the kernel
// clear fresh pages for every load.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "signal/RecycledBlocks.h"

namespace kestrava {

template <class T>
struct SampleArrayAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = SampleArrayAllocator<U>;
    };
    SampleArrayAllocator() noexcept = default;
    template <class U>
    SampleArrayAllocator(const SampleArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(RecycledBlocks::Allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { RecycledBlocks::Release(p, n * sizeof(T)); }

    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <class T, class U>
bool operator==(const SampleArrayAllocator<T>&, const SampleArrayAllocator<U>&) noexcept {
    return true;
}

}  // namespace kestrava

// Large sample arrays (tens of megabytes) are faulted in 4 KiB pages one at a time
// unless the kernel is asked to back them with 2 MiB pages; that advice, given before
// the array is first written, makes loading a long record several times faster.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace kestrava {

// Advises huge pages for the whole 2 MiB pages inside a buffer that has not been written
// yet. Only advice: nothing changes when the system does not follow it.
inline void AdviseHugePages(const void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (data == nullptr || bytes < 2 * kHugePage) return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// A vector sized to count elements, its storage advised before the elements are written.
template <class Vector>
void ResizeLarge(Vector& vector, std::size_t count) {
    if (vector.capacity() < count) {
        Vector fresh;
        fresh.reserve(count);
        AdviseHugePages(fresh.data(), count * sizeof(typename Vector::value_type));
        vector.swap(fresh);
    }
    vector.resize(count);
}

}  // namespace kestrava

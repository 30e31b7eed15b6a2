#include "signal/RecycledBlocks.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "base/HugePages.h"

namespace kestrava::RecycledBlocks {
namespace {

// A large block carries its real size in a header before the memory handed out, since
// a reused block may be bigger than the size its new owner knows of.
constexpr std::size_t kHeader = alignof(std::max_align_t);

struct Kept {
    unsigned char* start;
    std::size_t capacity;
};

struct Store {
    std::mutex mutex;
    std::vector<Kept> blocks;
    std::size_t bytes = 0;
};

Store& TheStore() {
    static Store* store = new Store;  // never destroyed: arrays may be freed during exit
    return *store;
}

std::size_t& CapacityOf(unsigned char* start) {
    return *reinterpret_cast<std::size_t*>(start);
}

// The smallest kept block that holds bytes, taken out of the store; null when none does.
unsigned char* TakeKept(std::size_t bytes) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    auto best = store.blocks.end();
    for (auto it = store.blocks.begin(); it != store.blocks.end(); ++it)
        if (it->capacity >= bytes && (best == store.blocks.end() || it->capacity < best->capacity))
            best = it;
    if (best == store.blocks.end()) return nullptr;
    unsigned char* start = best->start;
    store.bytes -= best->capacity;
    store.blocks.erase(best);
    return start;
}

}  // namespace

void* Allocate(std::size_t bytes) {
    if (bytes < kMinimumBytes) return ::operator new(bytes);
    if (unsigned char* start = TakeKept(bytes)) return start + kHeader;
    if (bytes > static_cast<std::size_t>(-1) - kHeader) throw std::bad_alloc();
    auto* start = static_cast<unsigned char*>(::operator new(bytes + kHeader));
    CapacityOf(start) = bytes;
    AdviseHugePages(start, bytes + kHeader);
    return start + kHeader;
}

void Release(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < kMinimumBytes) {
        ::operator delete(block);
        return;
    }
    unsigned char* start = static_cast<unsigned char*>(block) - kHeader;
    const std::size_t capacity = CapacityOf(start);
    Store& store = TheStore();
    {
        std::lock_guard lock(store.mutex);
        if (capacity <= kKeptBytes) {
            // The oldest blocks make room; a block too large for the store is not kept.
            while (!store.blocks.empty() &&
                   (store.blocks.size() >= kKeptBlocks || store.bytes + capacity > kKeptBytes)) {
                ::operator delete(store.blocks.front().start);
                store.bytes -= store.blocks.front().capacity;
                store.blocks.erase(store.blocks.begin());
            }
            try {
                store.blocks.push_back({start, capacity});
                store.bytes += capacity;
                return;
            } catch (...) {
            }
        }
    }
    ::operator delete(start);
}

void ReleaseKept() noexcept {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    for (const Kept& kept : store.blocks) ::operator delete(kept.start);
    store.blocks.clear();
    store.bytes = 0;
}

std::size_t KeptBytes() noexcept {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    return store.bytes;
}

}  // namespace kestrava::RecycledBlocks

#include "base/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace kestrava {
namespace {

// The live views, for the bus-error handler, which may read nothing but atomics.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> truncated{false};
};
constexpr int kSlots = 64;
Slot slots[kSlots];

struct sigaction previousBusHandler;

// A page of a view that the file no longer backs is replaced by a page of zeros and the
// read goes on; any other bus error goes to whoever handled it before.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& slot : slots) {
        if (address < slot.begin.load() || address >= slot.end.load()) continue;
        const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        void* start = reinterpret_cast<void*>(address & ~(page - 1));
        if (mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            break;
        slot.truncated.store(true);
        return;
    }
    sigaction(SIGBUS, &previousBusHandler, nullptr);
    if (previousBusHandler.sa_flags & SA_SIGINFO)
        previousBusHandler.sa_sigaction(signal, info, context);
    else if (previousBusHandler.sa_handler != SIG_IGN && previousBusHandler.sa_handler != SIG_DFL)
        previousBusHandler.sa_handler(signal);
    else
        raise(signal);
}

void InstallBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousBusHandler);
    });
}

int ClaimSlot(std::uintptr_t begin, std::uintptr_t end) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    for (int k = 0; k < kSlots; ++k) {
        if (slots[k].end.load() != 0) continue;
        slots[k].truncated.store(false);
        slots[k].begin.store(begin);
        slots[k].end.store(end);
        return k;
    }
    return -1;
}

}  // namespace

std::shared_ptr<const MappedFile> MappedFile::Map(int fd, std::int64_t offset, std::size_t length) {
    if (fd < 0 || offset < 0 || length == 0) return nullptr;
    const auto page = static_cast<std::int64_t>(sysconf(_SC_PAGESIZE));
    const std::int64_t aligned = offset - offset % page;
    const std::size_t skip = static_cast<std::size_t>(offset - aligned);
    const std::size_t baseLength = length + skip;
    InstallBusHandler();
    void* base = mmap(nullptr, baseLength, PROT_READ, MAP_PRIVATE, fd, aligned);
    if (base == MAP_FAILED) return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(base);
    const int slot = ClaimSlot(begin, begin + baseLength);
    // Without a slot a truncation could not be survived: the caller reads the file instead.
    if (slot < 0) {
        munmap(base, baseLength);
        return nullptr;
    }
    madvise(base, baseLength, MADV_WILLNEED);
    return std::shared_ptr<const MappedFile>(new MappedFile(
        base, baseLength, static_cast<const unsigned char*>(base) + skip, length, slot));
}

MappedFile::MappedFile(void* base, std::size_t baseLength, const unsigned char* data,
                       std::size_t length, int slot)
    : base_(base), baseLength_(baseLength), data_(data), length_(length), slot_(slot) {}

MappedFile::~MappedFile() {
    slots[slot_].begin.store(0);
    slots[slot_].end.store(0);
    munmap(base_, baseLength_);
}

bool MappedFile::Truncated() const {
    return slots[slot_].truncated.load();
}

}  // namespace kestrava

#include "pse/pse_lock.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace vorlan {

namespace {

// Storage that no static destructor touches: the lock is created and destroyed only by
// the module's load and unload, whatever order the process tears its objects down in.
struct LockSlot {
    alignas(TRWCriticalSection) unsigned char bytes[sizeof(TRWCriticalSection)];
    TRWCriticalSection* live = nullptr;  // guarded by CreationMutex
    int loadCount = 0;                   // guarded by CreationMutex
};
static_assert(std::is_trivially_destructible_v<LockSlot>);

constinit LockSlot g_slot{};  // no dynamic initialiser may reset it after an early load
constinit std::atomic<TRWCriticalSection*> g_lock{nullptr};  // published copy for the fast path

std::mutex& CreationMutex() {
    // Never destroyed, so that an unload during exit still finds it.
    alignas(std::mutex) static unsigned char bytes[sizeof(std::mutex)];
    static std::mutex* const mutex = std::construct_at(reinterpret_cast<std::mutex*>(bytes));
    return *mutex;
}

TRWCriticalSection& Create_locked() {  // caller holds CreationMutex
    if (g_slot.live == nullptr) {
        g_slot.live = std::construct_at(reinterpret_cast<TRWCriticalSection*>(g_slot.bytes));
        g_lock.store(g_slot.live, std::memory_order_release);
    }
    return *g_slot.live;
}

}  // namespace

TRWCriticalSection& PSELock() {
    if (TRWCriticalSection* lock = g_lock.load(std::memory_order_acquire)) return *lock;
    std::lock_guard<std::mutex> guard(CreationMutex());
    return Create_locked();
}

void PSEModuleLoad() {
    std::lock_guard<std::mutex> guard(CreationMutex());
    ++g_slot.loadCount;
    Create_locked();
}

void PSEModuleUnload() {
    std::lock_guard<std::mutex> guard(CreationMutex());
    if (g_slot.loadCount == 0 || --g_slot.loadCount > 0 || g_slot.live == nullptr) return;
    g_lock.store(nullptr, std::memory_order_release);
    std::destroy_at(std::exchange(g_slot.live, nullptr));
}

}  // namespace vorlan

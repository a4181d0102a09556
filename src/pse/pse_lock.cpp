#include "pse/pse_lock.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace vorlan {

namespace {

std::mutex& CreationMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<TRWCriticalSection> g_lockOwner;    // guarded by CreationMutex
std::atomic<TRWCriticalSection*> g_lock{nullptr};   // published copy for the fast path
int g_loadCount = 0;                                // guarded by CreationMutex

TRWCriticalSection& Create_locked() {
    if (!g_lockOwner) {
        g_lockOwner = std::make_unique<TRWCriticalSection>();
        g_lock.store(g_lockOwner.get(), std::memory_order_release);
    }
    return *g_lockOwner;
}

}  // namespace

TRWCriticalSection& PSELock() {
    if (TRWCriticalSection* lock = g_lock.load(std::memory_order_acquire)) return *lock;
    std::lock_guard<std::mutex> guard(CreationMutex());
    return Create_locked();
}

void PSEModuleLoad() {
    std::lock_guard<std::mutex> guard(CreationMutex());
    ++g_loadCount;
    Create_locked();
}

void PSEModuleUnload() {
    std::lock_guard<std::mutex> guard(CreationMutex());
    if (g_loadCount == 0 || --g_loadCount > 0) return;
    g_lock.store(nullptr, std::memory_order_release);
    g_lockOwner.reset();
}

}  // namespace vorlan

#include "pse/pse_renewal_hold.h"

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <mutex>

#include "platform/platform.h"
#include "pse/pse_lock.h"
#include "support/immortal.h"

namespace vorlan {

namespace {

struct Hold {
    std::mutex mutex;                            // guards waits for the end of a hold
    std::condition_variable ended;
    std::atomic<const void*> owner{nullptr};     // changed under mutex (and, when set, the PSELock)
    std::atomic<std::uint32_t> driver{0};        // the thread of the holder's last step
};

// Never destroyed: an engine released during exit still finds it.
Hold& TheHold() {
    static Immortal<Hold> hold;
    return *hold;
}

bool Passes(const void* owner, const void* engine) { return owner == nullptr || owner == engine; }

// Admits: whether an operation of engine on this thread goes past the gate now.
bool Admits(const Hold& hold, const void* engine) {
    return Passes(hold.owner.load(), engine) || hold.driver.load() == platform::CurrentThreadId();
}

}  // namespace

bool TryHoldRenewal(const void* engine) {
    Hold& hold = TheHold();
    // Under the exclusive lock: the operations that began before the hold have ended.
    WriteGuard exclusive(PSELock());
    std::lock_guard<std::mutex> guard(hold.mutex);
    if (!Passes(hold.owner.load(), engine)) return false;
    hold.driver.store(platform::CurrentThreadId());
    hold.owner.store(engine);
    return true;
}

void DriveRenewal(const void* engine) {
    Hold& hold = TheHold();
    std::lock_guard<std::mutex> guard(hold.mutex);
    if (hold.owner.load() == engine) hold.driver.store(platform::CurrentThreadId());
}

void ReleaseRenewal(const void* engine) {
    Hold& hold = TheHold();
    {
        std::lock_guard<std::mutex> guard(hold.mutex);
        if (hold.owner.load() != engine) return;
        hold.owner.store(nullptr);
        hold.driver.store(0);
    }
    hold.ended.notify_all();
}

bool RenewalHeldByOther(const void* engine) { return !Passes(TheHold().owner.load(), engine); }

SharedPSE::SharedPSE(const void* engine) {
    Hold& hold = TheHold();
    for (;;) {
        PSELock().BeginRead();
        // A hold is set only under the exclusive lock, so it cannot begin while this read lasts.
        if (Admits(hold, engine)) return;
        PSELock().EndRead();
        std::unique_lock<std::mutex> guard(hold.mutex);
        hold.ended.wait(guard, [&] { return Admits(hold, engine); });
    }
}

SharedPSE::~SharedPSE() { PSELock().EndRead(); }

}  // namespace vorlan

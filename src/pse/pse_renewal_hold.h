// The renewal hold: the exclusive use of the process's PSEs that a key renewal keeps across
// calls, from its first start step to its last. It belongs to an engine, not to a thread:
// any thread of the holding engine goes on with the protocol, and releasing the engine, from
// any thread, ends it. While one engine holds it, the other engines' operations under the
// PSELock wait at its gate (SharedPSE), except on the thread that ran the renewal's last
// step (a host that renews and works on one thread does not wait for itself); their starts
// and finishes are refused at once.
#pragma once

#include "support/rwsync.h"

namespace vorlan {

// TryHoldRenewal: engine takes the hold once the operations under way have ended (true also
// when it holds it already); false at once when another engine holds it. The calling thread
// becomes the renewal's driver.
bool TryHoldRenewal(const void* engine);
// DriveRenewal: when engine holds the hold, the calling thread becomes its driver.
void DriveRenewal(const void* engine);
// ReleaseRenewal: ends engine's hold (nothing when it holds none).
void ReleaseRenewal(const void* engine);
// RenewalHeldByOther: whether an engine other than this one holds it.
bool RenewalHeldByOther(const void* engine);

// SharedPSE: the PSELock shared for an operation of engine, taken once no other engine
// holds the renewal (waiting for that first).
class SharedPSE {
public:
    explicit SharedPSE(const void* engine);
    ~SharedPSE();
    SharedPSE(const SharedPSE&) = delete;
    SharedPSE& operator=(const SharedPSE&) = delete;
};

}  // namespace vorlan

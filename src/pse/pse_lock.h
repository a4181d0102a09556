// PSELock: the process-wide readers-writer lock of the PSE engines. Shared around the
// cryptographic and certificate operations, exclusive while the key set changes.
#pragma once

#include "support/rwsync.h"

namespace vorlan {

// PSELock: the process-wide lock (created at library load, or on first use).
TRWCriticalSection& PSELock();
// PSEModuleLoad: creates the lock; called once at library load (counted).
void PSEModuleLoad();
// PSEModuleUnload: frees the lock when the last load is undone; called at library unload.
void PSEModuleUnload();

}  // namespace vorlan

// The PSE lock across load counts and at process exit: an unload that runs after the
// library's own static objects are gone still finds a sound lock (sanitizer builds
// report a use of freed memory otherwise).
#include <gtest/gtest.h>

#include <thread>

#include "pse/pse_lock.h"

namespace vorlan::test {
namespace {

// Made before the library's objects (test objects are initialised first), so destroyed
// after them: its destructor is the late unload of a host that exits without FreeLibrary.
struct LateUnload {
    LateUnload() { PSEModuleLoad(); }
    ~LateUnload() {
        { WriteGuard write(PSELock()); }
        { ReadGuard read(PSELock()); }
        PSEModuleUnload();
        PSEModuleUnload();  // one unload too many is ignored
    }
};
const LateUnload g_lateUnload;

// Load and unload run apart from the lock's users (at library load and unload), so the
// test never holds the lock across them.
TEST(PSELockLifetime, InnerUnloadKeepsTheLockUsable) {
    PSEModuleLoad();
    PSEModuleLoad();
    PSEModuleUnload();  // still loaded: the lock stays
    {
        WriteGuard write(PSELock());
        ReadGuard read(PSELock());  // the writer may read
    }
    PSEModuleUnload();
    bool taken = false;
    std::thread other([&] {
        WriteGuard write(PSELock());
        taken = true;
    });
    other.join();
    EXPECT_TRUE(taken) << "the lock is free again for another thread";
}

}  // namespace
}  // namespace vorlan::test

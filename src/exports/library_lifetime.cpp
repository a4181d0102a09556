// The library's load and unload sequence: the process-wide objects of every module are
// created once when the library is loaded, before any export can run, and released in
// the reverse order when it is unloaded. Engines the host did not destroy are left alone.
#include "exports/library_lifetime.h"

#include "binding/mpro_dll.h"
#include "pse/pse_lock.h"
#include "support/zel_root.h"

namespace vorlan::exports {
namespace {

struct ModulesLoad {
    ModulesLoad() {
        ZELRootModuleLoad();  // the empty list of search directories
        BindingModuleLoad();  // toolkit and load locks, plug-in handles, context cache
        PSEModuleLoad();      // the lock between key-set changes and cryptographic work
    }
};

// The release lives in an object made after the library's initialisation is complete,
// so that it is destroyed first at unload: the modules' own static objects may have been
// initialised after the load above and would otherwise be gone before their release.
struct ModulesRelease {
    ~ModulesRelease() {
        PSEModuleUnload();
        BindingModuleUnload();  // closes cached contexts, unloads the plug-ins it loaded
        ZELRootModuleUnload();  // frees the search list, clears the root
    }
};

// Runs when the library is loaded (shared library) or the program starts (static link).
const ModulesLoad load;

}  // namespace

void HoldModulesUntilUnload() { static const ModulesRelease release; }

}  // namespace vorlan::exports

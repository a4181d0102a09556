// The library's load and unload sequence: the process-wide objects of every module are
// created once when the library is loaded, before any export can run, and released in
// the reverse order when it is unloaded. Engines the host did not destroy are left alone.
#include "binding/mpro_dll.h"
#include "pse/pse_lock.h"
#include "support/zel_root.h"

namespace vorlan::exports {
namespace {

class LibraryLifetime {
public:
    LibraryLifetime() {
        ZELRootModuleLoad();   // the empty list of search directories
        BindingModuleLoad();   // toolkit and load locks, plug-in handles, context cache
        PSEModuleLoad();       // the lock between key-set changes and cryptographic work
    }
    ~LibraryLifetime() {
        PSEModuleUnload();
        BindingModuleUnload();  // closes cached contexts, unloads the plug-ins it loaded
        ZELRootModuleUnload();  // frees the search list, clears the root
    }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

// Constructed when the library is loaded (shared library) or the program starts (static link).
const LibraryLifetime lifetime;

}  // namespace
}  // namespace vorlan::exports

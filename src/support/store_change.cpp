#include "support/store_change.h"

#include <memory>

namespace vorlan {

TCriticalSection& StoreLock() {
    // Never destroyed: a host may still change a store while the process exits.
    alignas(TCriticalSection) static unsigned char bytes[sizeof(TCriticalSection)];
    static TCriticalSection* const lock = std::construct_at(reinterpret_cast<TCriticalSection*>(bytes));
    return *lock;
}

UndoLog::~UndoLog() {
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        try {
            (*step)();
        } catch (...) {
            // Runs while a failure unwinds: what cannot be taken back stays as it is.
        }
    }
}

}  // namespace vorlan

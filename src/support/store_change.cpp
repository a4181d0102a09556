#include "support/store_change.h"

#include <memory>
#include <optional>

#include "platform/platform.h"

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

bool ReplaceFile(UndoLog& undo, const std::string& target, const std::string& source) {
    std::optional<std::string> old;
    if (platform::FileExists(target) && !(old = platform::ReadWholeFile(target))) return false;
    const std::string staged = StagedName(target);
    if (!platform::CopyWholeFile(source, staged)) return false;
    if (!platform::RenameReplacing(staged, target)) {
        platform::DeleteFile(staged);
        return false;
    }
    undo.Add([target, staged, old = std::move(old)] {
        if (!old) {
            platform::DeleteFile(target);
        } else if (platform::WriteWholeFile(staged, old->data(), old->size()) &&
                   !platform::RenameReplacing(staged, target)) {
            platform::DeleteFile(staged);
        }
    });
    return true;
}

}  // namespace vorlan

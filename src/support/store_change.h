// Changes of the file stores (certificate, CA and CRL directories, key sets): the lock that
// serialises them within the process, and the log that takes back a change that could not
// be completed, so that a store holds its old state or its new one, never a half.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/rwsync.h"

namespace vorlan {

// StoreLock: serialises the changes of every store within the process (re-entrant). In the
// lock order it comes after PSELock and before ToolkitLock: a holder may call the binding,
// but never an operation that takes PSELock (an engine's ClearCash runs after release).
TCriticalSection& StoreLock();

// StagedName: where a new file waits beside the file it is to replace in one rename; no
// reader of the stores takes a name ending in ".new" for a certificate, list or key file.
inline std::string StagedName(const std::string& target) { return target + ".new"; }

// UndoLog: the steps that take back the parts of a change already done, run in reverse
// order when the log goes out of scope before Commit. A step's own failure is ignored.
class UndoLog {
public:
    UndoLog() = default;
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;
    ~UndoLog();
    // Add: records how to take back the step just done.
    void Add(std::function<void()> undo) { steps_.push_back(std::move(undo)); }
    // Commit: the change is complete; nothing is taken back.
    void Commit() { steps_.clear(); }

private:
    std::vector<std::function<void()>> steps_;
};

// ReplaceFile: target gets a copy of source in one rename (staged beside it); undo puts the
// old content back the same way, or removes a target that was not there. False: nothing changed.
bool ReplaceFile(UndoLog& undo, const std::string& target, const std::string& source);

}  // namespace vorlan

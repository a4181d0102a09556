// FileChange: a change of several files of an installation that survives the death of the
// process at any instruction. Before anything is touched a record of intent is written in a
// directory of the installation ("change.intent"): the scratch files the change makes, and
// for each target the file that replaces it. The new files are staged beside their targets,
// the old versions copied beside them (target + ".undo"), and each target is then replaced
// in one rename; the old versions go when the record says "done", the record last. Whoever next finds a record (Recover) takes the change back, or,
// when it was done, finishes its clean-up. A lock file beside the record ("change.lock",
// held while a change runs) keeps other processes from recovering a change that is alive.
//
//     FileChange change(keyDir);
//     if (!change.Begin({scratchDir})) return failure;      // nothing changed
//     ... make the scratch files, decide ...
//     change.Replace(keyDir + "num", scratchDir + "num");
//     change.Replace(keyDir + "num.old", keyDir + "num");    // staged before any target moves
//     if (!change.Apply()) return failure;                  // every target as it was
//
// The caller holds the StoreLock (and, for key files, the PSELock); the change lock comes
// after them in the lock order.
#pragma once

#include <string>
#include <vector>

#include "platform/file_lock.h"

namespace vorlan {

// SamePath: whether two paths spell one file alike: "\" or "/" for a separator (a run of
// them counts once) and letters in any case.
bool SamePath(const std::string& a, const std::string& b);

class FileChange {
public:
    // FileChange: a change recorded in dir (ending in a backslash).
    explicit FileChange(std::string dir);
    // ~FileChange: a change begun and not applied is taken back: its scratch goes, its
    // record too, and the lock is released.
    ~FileChange();
    FileChange(const FileChange&) = delete;
    FileChange& operator=(const FileChange&) = delete;

    // Begin: takes the change lock (waiting while another process's change runs), recovers an
    // interrupted change of dir (only paths within `allowed`), and records the scratch paths
    // the caller is about to make (files or trees, deleted whatever the outcome). False:
    // nothing was changed.
    bool Begin(const std::vector<std::string>& scratch, const std::vector<std::string>& allowed);
    // Replace: target gets a copy of source, staged beside it (owner-only bits for key
    // material, else the source's); an empty source: target goes away. A later step for the
    // same target takes the place of an earlier one.
    void Replace(const std::string& target, const std::string& source, bool keyMaterial = false);
    // Move: target gets the file source itself (a scratch file on the same volume) by rename.
    void Move(const std::string& target, const std::string& source);
    // DiscardWhenDone: a file or tree deleted once the change is done (kept when taken back).
    void DiscardWhenDone(const std::string& path);
    // Apply: stages every copy, replaces every target, cleans up; all or nothing. False:
    // every target is as it was.
    bool Apply();

    // Interrupted: whether dir holds a record of intent (two status queries).
    static bool Interrupted(const std::string& dir);
    // Recover: takes back an interrupted change recorded in dir, or finishes its clean-up,
    // under the change lock (waiting for it, or, without wait, leaving a change that is
    // alive alone). A record that names a target outside `allowed` (directories, ending in a
    // separator) or that cannot be read is left as it is: false; scratch outside is kept.
    static bool Recover(const std::string& dir, const std::vector<std::string>& allowed, bool wait);

    struct Step {
        std::string target, staged, source;  // source empty: staged is the file itself (Move)
        bool existed = false, keyMaterial = false;
    };
    struct Record {
        std::string state;  // "prepare", "apply" or "done"
        std::vector<std::string> scratch, discard;
        std::vector<Step> steps;
    };

private:
    static bool RecoverLocked(const std::string& dir, const std::vector<std::string>& allowed);
    void Add(Step step);
    bool Write(const std::string& state);
    void Finish(const char* state);

    std::string dir_;
    std::vector<std::string> allowed_;
    platform::FileLock lock_;
    Record record_;
    bool begun_ = false;
};

}  // namespace vorlan

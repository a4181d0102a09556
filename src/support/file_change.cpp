#include "support/file_change.h"

#include <algorithm>
#include <sstream>

#include "platform/new_file.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr const char* kRecordName = "change.intent";
constexpr const char* kLockName = "change.lock";
constexpr const char* kHeader = "VORLAN-CHANGE 1";
constexpr std::int64_t kMaxRecordSize = 1 << 20;
constexpr std::uint32_t kRecordBits = 0600;

std::string UndoName(const std::string& target) { return target + ".undo"; }
std::string StageName(const std::string& target) { return target + ".staged"; }

bool Exists(const std::string& path) { return platform::GetAttributes(path).has_value(); }

// RemoveFile / RemovePath: a file, or a file or tree, gone; a refused deletion is tried once
// more, so that one passing failure leaves nothing behind.
bool RemoveFile(const std::string& path) {
    return !platform::FileExists(path) || platform::DeleteFile(path) || platform::DeleteFile(path);
}
void RemovePath(const std::string& path) {
    if (platform::DirectoryExists(path)) {
        if (!DeleteDirectory(path, true)) DeleteDirectory(path, true);
    } else {
        RemoveFile(path);
    }
}
bool Rename(const std::string& from, const std::string& to) {
    return platform::RenameReplacing(from, to) || platform::RenameReplacing(from, to);
}

// Normalized: one backslash for each run of separators, so that paths spelled with "/"
// compare alike.
std::string Normalized(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const bool separator = c == '/' || c == '\\';
        if (!separator) out += c;
        else if (out.empty() || out.back() != '\\') out += '\\';
    }
    return out;
}

// Inside: path lies below one of the allowed directories and climbs out of none; it holds
// no byte that could break a line of the record.
bool Inside(const std::string& path, const std::vector<std::string>& allowed) {
    if (path.empty() || std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return false;
    const std::string p = Normalized(path);
    if (p.find("\\..\\") != std::string::npos || p.starts_with("..\\") || p.ends_with("\\..")) return false;
    return std::any_of(allowed.begin(), allowed.end(), [&](const std::string& dir) {
        const std::string d = IncludeBackslash(Normalized(dir));
        return d.size() > 1 && p.size() > d.size() && SameTextAnsi(p.substr(0, d.size()), d);
    });
}

std::string Serialize(const FileChange::Record& r) {
    std::string text = std::string(kHeader) + "\nstate\t" + r.state + "\n";
    for (const auto& path : r.scratch) text += "scratch\t" + path + "\n";
    for (const auto& path : r.discard) text += "discard\t" + path + "\n";
    for (const auto& s : r.steps)
        text += std::string("step\t") + (s.existed ? "1" : "0") + "\t" + (s.keyMaterial ? "1" : "0") + "\t" + s.target +
                "\t" + s.staged + "\t" + s.source + "\n";
    return text;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// Parse: the record of a text; false for anything but a well-formed record whose every
// target lies within the allowed directories.
bool Parse(const std::string& text, const std::vector<std::string>& allowed, FileChange::Record& r) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kHeader) return false;
    while (std::getline(lines, line)) {
        const auto f = Fields(line);
        if (f.size() == 2 && f[0] == "state" && (f[1] == "prepare" || f[1] == "apply" || f[1] == "done")) {
            r.state = f[1];
        } else if (f.size() == 2 && (f[0] == "scratch" || f[0] == "discard")) {
            // What lies outside the directories this engine knows is not deleted.
            if (Inside(f[1], allowed)) (f[0] == "scratch" ? r.scratch : r.discard).push_back(f[1]);
        } else if (f.size() == 6 && f[0] == "step" && Inside(f[3], allowed) && (f[4].empty() || Inside(f[4], allowed))) {
            r.steps.push_back({f[3], f[4], f[5], f[1] == "1", f[2] == "1"});
        } else {
            return false;
        }
    }
    return !r.state.empty();
}

// TakeBack: undoes the steps, last first. A target was replaced when its staged file is gone
// (renamed onto it), or deleted when it is gone itself; every copy was complete before the
// first of them, so its old version is whole: it comes back, or the new file goes. Staged
// copies and the old versions of untouched targets (perhaps cut short) go.
void TakeBack(const std::vector<FileChange::Step>& steps) {
    for (auto s = steps.rbegin(); s != steps.rend(); ++s) {
        const bool replaced = s->staged.empty() ? s->existed && !Exists(s->target) : !Exists(s->staged);
        const std::string undo = UndoName(s->target);
        if (replaced && s->existed) {
            if (platform::FileExists(undo)) Rename(undo, s->target);
        } else if (replaced) {
            RemoveFile(s->target);
        } else if (s->existed) {
            RemoveFile(undo);
        }
        if (!s->source.empty()) RemoveFile(s->staged);
    }
}

// CleanUp: what a change that is over leaves: the old versions (when done), its scratch.
void CleanUp(const FileChange::Record& r) {
    if (r.state == "done") {
        for (const auto& s : r.steps)
            if (s.existed) RemoveFile(UndoName(s.target));
        for (const auto& path : r.discard) RemovePath(path);
    }
    for (const auto& path : r.scratch) RemovePath(path);
}

}  // namespace

bool SamePath(const std::string& a, const std::string& b) { return SameTextAnsi(Normalized(a), Normalized(b)); }

FileChange::FileChange(std::string dir) : dir_(IncludeBackslash(std::move(dir))) {}

FileChange::~FileChange() {
    try {
        if (begun_) Finish("prepare");
    } catch (...) {
        // A destructor raises nothing; a record that stays is recovered on the next use.
    }
}

bool FileChange::Interrupted(const std::string& dir) {
    const std::string record = IncludeBackslash(dir) + kRecordName;
    return platform::FileExists(record) || platform::FileExists(record + ".tmp");
}

bool FileChange::Recover(const std::string& dir, const std::vector<std::string>& allowed, bool wait) {
    platform::FileLock lock;
    switch (lock.Lock(IncludeBackslash(dir) + kLockName, wait)) {
        case platform::LockResult::Held: return RecoverLocked(dir, allowed);
        case platform::LockResult::Busy: return true;  // a live change: it ends on its own
        case platform::LockResult::Failed: return false;
    }
    return false;
}

bool FileChange::RecoverLocked(const std::string& dir, const std::vector<std::string>& allowed) {
    const std::string record = IncludeBackslash(dir) + kRecordName;
    // A record being written when its process died never took effect.
    RemoveFile(record + ".tmp");
    if (!platform::FileExists(record)) return true;
    const auto size = platform::FileSize(record);
    const auto text = size && *size <= kMaxRecordSize ? platform::ReadWholeFile(record) : std::nullopt;
    Record r;
    if (!text || !Parse(*text, allowed, r)) return false;
    if (r.state == "apply") TakeBack(r.steps);
    CleanUp(r);
    return RemoveFile(record);
}

bool FileChange::Begin(const std::vector<std::string>& scratch, const std::vector<std::string>& allowed) {
    if (begun_) return false;
    if (lock_.Lock(dir_ + kLockName, true) != platform::LockResult::Held) return false;
    allowed_ = allowed;
    record_ = Record{};
    record_.scratch = scratch;
    const bool usable = std::all_of(scratch.begin(), scratch.end(), [&](const auto& p) { return Inside(p, allowed_); });
    // Under the lock no live change of another process holds a record here: one found is
    // what a dead process left.
    if (!usable || (Interrupted(dir_) && !RecoverLocked(dir_, allowed_)) || !Write("prepare")) {
        lock_.Unlock();
        return false;
    }
    begun_ = true;
    return true;
}

void FileChange::Replace(const std::string& target, const std::string& source, bool keyMaterial) {
    Add({target, source.empty() ? std::string() : StageName(target), source, false, keyMaterial});
}

void FileChange::Move(const std::string& target, const std::string& source) {
    Add({target, source, std::string(), false, false});
}

void FileChange::Add(Step step) {
    // One step per target: a later one for the same file (spelled alike) takes its place.
    for (auto& s : record_.steps)
        if (SamePath(s.target, step.target)) {
            s = std::move(step);
            return;
        }
    record_.steps.push_back(std::move(step));
}

void FileChange::DiscardWhenDone(const std::string& path) { record_.discard.push_back(path); }

bool FileChange::Write(const std::string& state) {
    record_.state = state;
    const std::string record = dir_ + kRecordName, text = Serialize(record_);
    const std::string next = record + ".tmp";
    if (!RemoveFile(next) || !platform::WriteNewFile(next, text.data(), text.size(), kRecordBits)) return false;
    if (Rename(next, record)) return true;
    RemoveFile(next);
    return false;
}

void FileChange::Finish(const char* state) {
    record_.state = state;
    CleanUp(record_);
    RemoveFile(dir_ + kRecordName + ".tmp");
    RemoveFile(dir_ + kRecordName);
    lock_.Unlock();
    begun_ = false;
}

bool FileChange::Apply() {
    if (!begun_) return false;
    const auto inside = [&](const std::string& path) { return Inside(path, allowed_); };
    bool planned = std::all_of(record_.discard.begin(), record_.discard.end(), inside);
    for (auto& s : record_.steps) {
        planned = planned && inside(s.target) && (s.staged.empty() || inside(s.staged));
        s.existed = platform::FileExists(s.target);
        // Names left by a change whose record was lost would pass for this change's.
        planned = planned && RemoveFile(UndoName(s.target)) && (s.source.empty() || RemoveFile(s.staged));
    }
    if (!planned || !Write("apply")) {
        Finish("prepare");
        return false;
    }
    // Copies first: the new files beside their targets, the old ones beside them too.
    bool done = true;
    for (const auto& s : record_.steps) {
        if (done && !s.source.empty())
            done = platform::CopyToNewFile(s.source, s.staged,
                                           s.keyMaterial ? std::optional<std::uint32_t>(platform::kOwnerOnly) : std::nullopt);
        if (done && s.existed) done = platform::CopyToNewFile(s.target, UndoName(s.target));
    }
    // Then each target in one step: a reader finds its old version or its new one.
    for (const auto& s : record_.steps) {
        if (done && !s.staged.empty()) done = platform::RenameReplacing(s.staged, s.target);
        else if (done && s.existed) done = platform::DeleteFile(s.target);
    }
    if (!done || !Write("done")) {
        TakeBack(record_.steps);
        Finish("prepare");
        return false;
    }
    Finish("done");
    return true;
}

}  // namespace vorlan

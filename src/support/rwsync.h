// The library's synchronisation objects: a re-entrant readers-writer lock whose readers
// may become the writer, a re-entrant critical section, the last-exception text holder,
// and scope guards for each.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vorlan {

// TSynchroObject: something that can be acquired and released.
class TSynchroObject {
public:
    virtual ~TSynchroObject() = default;
    // Acquire: takes the object, waiting as long as needed.
    virtual void Acquire() = 0;
    // Release: gives back what Acquire took.
    virtual void Release() = 0;
};

// TCriticalSection: a re-entrant mutual-exclusion lock.
class TCriticalSection : public TSynchroObject {
public:
    // Enter: takes the lock; a thread that holds it enters again at once.
    void Enter();
    // Leave: releases one Enter of the calling thread.
    void Leave();
    void Acquire() override { Enter(); }
    void Release() override { Leave(); }

private:
    std::recursive_mutex mutex_;
};

// TRWCriticalSection: readers-writer lock; a thread may nest reads and writes, and a
// reader may become the writer. Nested reads touch neither Lock nor the event.
class TRWCriticalSection {
public:
    TRWCriticalSection();
    // Waits until no other thread reads or writes.
    ~TRWCriticalSection();
    TRWCriticalSection(const TRWCriticalSection&) = delete;
    TRWCriticalSection& operator=(const TRWCriticalSection&) = delete;

    // BeginRead: takes a read; waits only when another thread writes and this one holds no read.
    void BeginRead();
    // EndRead: releases a read; raises EAssertionFailed (rwsyncs, line 191) when the thread holds none.
    void EndRead();
    // BeginWrite: takes the lock exclusively, waiting for other threads' reads; nests.
    void BeginWrite();
    // EndWrite: releases one BeginWrite; the outermost one restores the writer's own reads.
    // A call by a thread that is not writing does nothing.
    void EndWrite();

    // ActiveThreadCapacity: room of the thread table, in entries.
    std::size_t ActiveThreadCapacity();
    // ActiveThreadCount: number of used entries of the thread table.
    std::size_t ActiveThreadCount();
    // PendingWriter: id of the thread waiting to become the writer, 0 when none.
    std::uint32_t PendingWriter();

private:
    struct ThreadEntry {
        std::uint32_t threadId = 0;  // 0: free
        std::int32_t count = 0;      // nesting depth of the thread's reads
    };

    // Caller holds TableGuard.
    ThreadEntry* FindEntry_locked(std::uint32_t threadId);
    bool OnlyThreadHoldsReads_locked(std::uint32_t threadId) const;
    void RecordFirstRead_locked(std::uint32_t threadId);

    // Manual-reset event; writers use it only as a wake-up, the table decides.
    void SetEvent();
    void ResetEvent();
    void WaitEvent();

    std::recursive_mutex Lock;  // held by the writer for the whole write
    std::mutex eventMutex_;
    std::condition_variable eventCond_;
    bool eventSignalled_ = true;  // NoReadersEvent, guarded by eventMutex_

    // Guarded by TableGuard: changed together with the table, so that a writer never sees
    // a table and a count that disagree.
    std::int32_t Count = 0;           // reads held, or the writer's nesting depth while writing
    std::uint32_t WriteRequester = 0;
    std::vector<ThreadEntry> ActiveThreads;

    std::int32_t SavedReadCount = 0;  // the writer's own reads, put aside while it writes (under Lock)
    std::atomic<std::uint32_t> TableGuard{0};
    std::atomic<bool> Writing{false};
    std::atomic<std::uint32_t> writerThread_{0};  // the writing thread while Writing
};

// TSyncExceptStr: a string holder guarded by its own readers-writer lock.
class TSyncExceptStr {
public:
    // GetText: a copy of the text, taken under a read.
    std::string GetText();
    // SetText: replaces the text under a write.
    void SetText(const std::string& text);

private:
    TRWCriticalSection lock_;
    std::string text_;
};

// ReadGuard: one BeginRead for the lifetime of the guard.
class ReadGuard {
public:
    explicit ReadGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.BeginRead(); }
    ~ReadGuard() { lock_.EndRead(); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    TRWCriticalSection& lock_;
};

// WriteGuard: one BeginWrite for the lifetime of the guard.
class WriteGuard {
public:
    explicit WriteGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.BeginWrite(); }
    ~WriteGuard() { lock_.EndWrite(); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

private:
    TRWCriticalSection& lock_;
};

// CriticalGuard: one Enter for the lifetime of the guard.
class CriticalGuard {
public:
    explicit CriticalGuard(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~CriticalGuard() { cs_.Leave(); }
    CriticalGuard(const CriticalGuard&) = delete;
    CriticalGuard& operator=(const CriticalGuard&) = delete;

private:
    TCriticalSection& cs_;
};

}  // namespace vorlan

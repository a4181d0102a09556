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

// TCriticalSection: a re-entrant mutual-exclusion lock.
class TCriticalSection {
public:
    void Enter();
    void Leave();

private:
    std::recursive_mutex mutex_;
};

// TRWCriticalSection: readers-writer lock; a thread may nest reads and writes, and a
// reader may become the writer. Nested reads touch neither Lock nor the event.
class TRWCriticalSection {
public:
    TRWCriticalSection();
    ~TRWCriticalSection();
    TRWCriticalSection(const TRWCriticalSection&) = delete;
    TRWCriticalSection& operator=(const TRWCriticalSection&) = delete;

    void BeginRead();
    // EndRead: raises EAssertionFailed (rwsyncs, line 191) when the thread holds no read.
    void EndRead();
    void BeginWrite();
    void EndWrite();

    // Room of the thread table (for tests of its growth): number of entries.
    std::size_t ActiveThreadCapacity();
    // Number of used entries of the thread table.
    std::size_t ActiveThreadCount();

private:
    struct ThreadEntry {
        std::uint32_t threadId = 0;  // 0: free
        std::int32_t count = 0;
    };
    // The remaining members are the implementation's; see rwsync.cpp.
    void TakeTableGuard();
    void ReleaseTableGuard();
    bool OnlyThreadHoldsReads_locked(std::uint32_t threadId) const;  // caller holds TableGuard

    std::recursive_mutex Lock;
    // Manual-reset event.
    std::mutex eventMutex_;
    std::condition_variable eventCond_;
    bool eventSignalled_ = true;
    void SetEvent();
    void ResetEvent();
    void WaitEvent();

    std::atomic<std::int32_t> Count{0};
    std::int32_t SavedReadCount = 0;
    std::vector<ThreadEntry> ActiveThreads;
    std::atomic<std::uint32_t> WriteRequester{0};
    std::atomic<std::uint32_t> TableGuard{0};
    std::atomic<bool> Writing{false};
};

// TSyncExceptStr: a string holder guarded by its own readers-writer lock.
class TSyncExceptStr {
public:
    std::string GetText();
    void SetText(const std::string& text);

private:
    TRWCriticalSection lock_;
    std::string text_;
};

// Scope guards.
class ReadGuard {
public:
    explicit ReadGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.BeginRead(); }
    ~ReadGuard() noexcept(false) { lock_.EndRead(); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    TRWCriticalSection& lock_;
};

class WriteGuard {
public:
    explicit WriteGuard(TRWCriticalSection& lock) : lock_(lock) { lock_.BeginWrite(); }
    ~WriteGuard() { lock_.EndWrite(); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

private:
    TRWCriticalSection& lock_;
};

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

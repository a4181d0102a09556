// Re-entrant readers-writer lock, critical section and last-exception holder.
//
// Every change of the thread table goes together with the change of Count under
// TableGuard, and a would-be writer decides from the table (under TableGuard) whether
// other threads still read. NoReadersEvent only wakes it up: a stale signal makes it
// look again, never lets it in while another thread reads.
#include "support/rwsync.h"

#include "platform/platform.h"
#include "support/errors.h"

namespace vorlan {

namespace {

constexpr const char* kUnit = "Packages\\ZELTools\\rwsyncs";
constexpr std::size_t kInitialRoom = 3;
constexpr std::size_t kGrowth = 2;

// The calling thread's id, asked of the platform once per thread.
std::uint32_t ThisThread() {
    thread_local const std::uint32_t id = platform::CurrentThreadId();
    return id;
}

// Holds TableGuard for one scope.
class TableGuardHold {
public:
    TableGuardHold(std::atomic<std::uint32_t>& word, std::uint32_t self) : word_(word) {
        while (word_.exchange(self, std::memory_order_acquire) != 0) {
            platform::YieldThread();
        }
    }
    ~TableGuardHold() { word_.store(0, std::memory_order_release); }
    TableGuardHold(const TableGuardHold&) = delete;
    TableGuardHold& operator=(const TableGuardHold&) = delete;

private:
    std::atomic<std::uint32_t>& word_;
};

}  // namespace

// ---- TCriticalSection -------------------------------------------------------------------

void TCriticalSection::Enter() { mutex_.lock(); }

void TCriticalSection::Leave() { mutex_.unlock(); }

// ---- TRWCriticalSection -----------------------------------------------------------------

TRWCriticalSection::TRWCriticalSection() : ActiveThreads(kInitialRoom) {}

TRWCriticalSection::~TRWCriticalSection() {
    // Wait until no other thread reads or writes.
    BeginWrite();
    EndWrite();
}

TRWCriticalSection::ThreadEntry* TRWCriticalSection::FindEntry_locked(std::uint32_t threadId) {
    for (auto& entry : ActiveThreads) {
        if (entry.threadId == threadId) return &entry;
    }
    return nullptr;
}

bool TRWCriticalSection::OnlyThreadHoldsReads_locked(std::uint32_t threadId) const {
    for (const auto& entry : ActiveThreads) {
        if (entry.threadId != 0 && entry.threadId != threadId) return false;
    }
    return true;
}

void TRWCriticalSection::RecordFirstRead_locked(std::uint32_t threadId) {
    ThreadEntry* freeEntry = nullptr;
    for (auto& entry : ActiveThreads) {
        if (entry.threadId == threadId) {
            ++entry.count;
            return;
        }
        if (entry.threadId == 0 && freeEntry == nullptr) freeEntry = &entry;
    }
    if (freeEntry == nullptr) {
        const std::size_t first = ActiveThreads.size();
        ActiveThreads.resize(first + kGrowth);
        freeEntry = &ActiveThreads[first];
    }
    freeEntry->threadId = threadId;
    freeEntry->count = 1;
}

void TRWCriticalSection::SetEvent() {
    // Notify under the mutex: a writer that wakes may go on to destroy the lock.
    std::lock_guard<std::mutex> hold(eventMutex_);
    eventSignalled_ = true;
    eventCond_.notify_all();
}

void TRWCriticalSection::ResetEvent() {
    std::lock_guard<std::mutex> hold(eventMutex_);
    eventSignalled_ = false;
}

void TRWCriticalSection::WaitEvent() {
    std::unique_lock<std::mutex> hold(eventMutex_);
    eventCond_.wait(hold, [this] { return eventSignalled_; });
}

void TRWCriticalSection::BeginRead() {
    const std::uint32_t self = ThisThread();
    {
        TableGuardHold guard(TableGuard, self);
        if (ThreadEntry* entry = FindEntry_locked(self)) {
            // A nested read never blocks; inside the thread's own write it changes nothing.
            if (!Writing.load(std::memory_order_relaxed)) {
                ++Count;
                ++entry->count;
            }
            return;
        }
    }
    // First read of this thread: wait here while another thread writes.
    std::lock_guard<std::recursive_mutex> hold(Lock);
    if (Writing.load(std::memory_order_relaxed)) return;  // only the writer itself gets here
    bool firstReader = false;
    {
        TableGuardHold guard(TableGuard, self);
        RecordFirstRead_locked(self);
        firstReader = (++Count == 1);
    }
    if (firstReader) ResetEvent();
}

void TRWCriticalSection::EndRead() {
    const std::uint32_t self = ThisThread();
    // The writer's own reads are not recorded while it writes.
    if (Writing.load(std::memory_order_acquire) && writerThread_.load(std::memory_order_relaxed) == self) return;
    bool found = false;
    {
        TableGuardHold guard(TableGuard, self);
        if (ThreadEntry* entry = FindEntry_locked(self)) {
            found = true;
            bool freed = false;
            if (--entry->count <= 0) {
                entry->threadId = 0;
                entry->count = 0;
                freed = true;
            }
            --Count;
            // Signalled before TableGuard is released: a writer that then finds the table
            // empty (say, to destroy the lock) never races with this thread's last step.
            if (Count == 0 || (freed && WriteRequester != 0 && OnlyThreadHoldsReads_locked(WriteRequester))) {
                SetEvent();
            }
        }
    }
    // A thread without a read leaves table and counters untouched.
    if (!found) AssertionFailure(kUnit, 191);
}

void TRWCriticalSection::BeginWrite() {
    Lock.lock();
    // Writing changes only under Lock, which this thread now holds.
    if (!Writing.load(std::memory_order_relaxed)) {
        const std::uint32_t self = ThisThread();
        auto tryStart = [&] {
            TableGuardHold guard(TableGuard, self);
            WriteRequester = self;
            if (!OnlyThreadHoldsReads_locked(self)) return false;
            SavedReadCount = Count;
            Count = 0;
            WriteRequester = 0;
            writerThread_.store(self, std::memory_order_relaxed);
            Writing.store(true, std::memory_order_release);
            return true;
        };
        // Look at the table, reset the event, look again, then sleep until a reader
        // that leaves signals; a signal between the two looks is never lost.
        while (!tryStart()) {
            ResetEvent();
            if (tryStart()) break;
            WaitEvent();
        }
    }
    TableGuardHold guard(TableGuard, ThisThread());
    ++Count;
}

void TRWCriticalSection::EndWrite() {
    const std::uint32_t self = ThisThread();
    if (!Writing.load(std::memory_order_acquire) || writerThread_.load(std::memory_order_relaxed) != self) return;
    bool nowFree = false;
    {
        TableGuardHold guard(TableGuard, self);
        if (--Count == 0) {
            Count = SavedReadCount;
            SavedReadCount = 0;
            writerThread_.store(0, std::memory_order_relaxed);
            Writing.store(false, std::memory_order_release);
            nowFree = Count == 0;
        }
    }
    if (nowFree) SetEvent();
    Lock.unlock();
}

std::size_t TRWCriticalSection::ActiveThreadCapacity() {
    TableGuardHold guard(TableGuard, ThisThread());
    return ActiveThreads.size();
}

std::uint32_t TRWCriticalSection::PendingWriter() {
    TableGuardHold guard(TableGuard, ThisThread());
    return WriteRequester;
}

std::size_t TRWCriticalSection::ActiveThreadCount() {
    TableGuardHold guard(TableGuard, ThisThread());
    std::size_t used = 0;
    for (const auto& entry : ActiveThreads) {
        if (entry.threadId != 0) ++used;
    }
    return used;
}

// ---- TSyncExceptStr ---------------------------------------------------------------------

std::string TSyncExceptStr::GetText() {
    ReadGuard guard(lock_);
    return text_;
}

void TSyncExceptStr::SetText(const std::string& text) {
    std::string copy = text;  // allocate outside the lock
    WriteGuard guard(lock_);
    text_.swap(copy);
}

}  // namespace vorlan

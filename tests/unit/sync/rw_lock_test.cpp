// The readers-writer lock under real threads: who waits for whom, nesting, upgrading
// a read to a write, the thread table, and misuse.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "support/errors.h"
#include "support/rwsync.h"
#include "thread_sync.h"

namespace vorlan {
namespace {

using test::WaitUntil;

// A latch of one: a door the test opens once.
struct Gate {
    test::ThreadGate latch;
    void Open() { latch.CountDown(); }
    void Pass() { latch.Wait(); }
};

// A thread that holds one read until its gate opens.
struct HeldReader {
    std::unique_ptr<Gate> release = std::make_unique<Gate>();
    std::thread thread;
};

void StartReaders(TRWCriticalSection& lock, std::vector<HeldReader>& readers, int n, std::atomic<int>& inside) {
    // Shared: a reader may still be inside CountDown when the waiter returns.
    auto in = std::make_shared<test::ThreadGate>(n);
    for (int i = 0; i < n; ++i) {
        readers.emplace_back();
        Gate* gate = readers.back().release.get();
        readers.back().thread = std::thread([&lock, &inside, in, gate] {
            lock.BeginRead();
            ++inside;
            in->CountDown();
            gate->Pass();
            --inside;
            lock.EndRead();
        });
    }
    in->Wait();
}

void ReleaseAll(std::vector<HeldReader>& readers) {
    for (auto& r : readers) r.release->Open();
    for (auto& r : readers) r.thread.join();
    readers.clear();
}

// True when another thread can take the write at once (the lock is free).
bool FreeForWriter(TRWCriticalSection& lock) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        WriteGuard guard(lock);
        done = true;
    });
    const bool ok = WaitUntil([&] { return done.load(); });
    t.join();
    return ok;
}

TEST(RWCriticalSection, WriterWaitsForReadersAndNewReaderWaitsForWriter) {
    TRWCriticalSection lock;
    std::atomic<int> readersInside{0};
    std::vector<HeldReader> readers;
    StartReaders(lock, readers, 3, readersInside);

    std::atomic<bool> writerIn{false};
    std::atomic<int> readersSeenByWriter{-1};
    std::atomic<bool> fifthSeenWriter{true};
    Gate endWrite;
    std::thread writer([&] {
        lock.BeginWrite();
        readersSeenByWriter = readersInside.load();
        writerIn = true;
        endWrite.Pass();
        writerIn = false;
        lock.EndWrite();
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.PendingWriter() != 0; }));

    std::atomic<bool> fifthTrying{false};
    std::atomic<bool> fifthIn{false};
    std::thread fifth([&] {
        fifthTrying = true;
        lock.BeginRead();
        fifthSeenWriter = writerIn.load();
        fifthIn = true;
        lock.EndRead();
    });
    ASSERT_TRUE(WaitUntil([&] { return fifthTrying.load(); }));

    readers[0].release->Open();
    readers[1].release->Open();
    ASSERT_TRUE(WaitUntil([&] { return readersInside.load() == 1; }));
    EXPECT_FALSE(writerIn.load());
    EXPECT_FALSE(fifthIn.load());

    readers[2].release->Open();
    ASSERT_TRUE(WaitUntil([&] { return writerIn.load(); }));
    EXPECT_EQ(readersSeenByWriter.load(), 0);
    EXPECT_FALSE(fifthIn.load());

    endWrite.Open();
    EXPECT_TRUE(WaitUntil([&] { return fifthIn.load(); }));
    EXPECT_FALSE(fifthSeenWriter.load());
    writer.join();
    fifth.join();
    ReleaseAll(readers);
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
    EXPECT_TRUE(FreeForWriter(lock));
}

TEST(RWCriticalSection, NestedReadsAroundOwnWriteEndFree) {
    TRWCriticalSection lock;
    for (int i = 0; i < 3; ++i) lock.BeginRead();
    lock.BeginWrite();
    lock.BeginWrite();
    // Reads inside the write are not recorded.
    lock.BeginRead();
    lock.EndRead();
    lock.EndRead();  // one taken before the write: does nothing while writing
    lock.EndWrite();
    lock.EndWrite();
    EXPECT_EQ(lock.ActiveThreadCount(), 1u);
    for (int i = 0; i < 3; ++i) lock.EndRead();
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
    EXPECT_TRUE(FreeForWriter(lock));
    EXPECT_THROW(lock.EndRead(), EAssertionFailed);
}

TEST(RWCriticalSection, ReaderBecomesWriterAfterOtherReaderLeaves) {
    TRWCriticalSection lock;
    std::atomic<int> othersInside{0};
    std::vector<HeldReader> others;
    StartReaders(lock, others, 1, othersInside);

    std::atomic<bool> writing{false};
    std::atomic<int> othersSeen{-1};
    Gate endWrite;
    Gate endRead;
    std::thread upgrader([&] {
        lock.BeginRead();
        lock.BeginWrite();
        othersSeen = othersInside.load();
        writing = true;
        endWrite.Pass();
        lock.EndWrite();
        endRead.Pass();
        lock.EndRead();
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.PendingWriter() != 0; }));
    EXPECT_FALSE(writing.load());
    EXPECT_EQ(lock.ActiveThreadCount(), 2u);

    ReleaseAll(others);
    ASSERT_TRUE(WaitUntil([&] { return writing.load(); }));
    EXPECT_EQ(othersSeen.load(), 0);
    EXPECT_EQ(lock.ActiveThreadCount(), 1u);  // the upgrader keeps its read
    endWrite.Open();

    // After the write its read is back in force: a writer must wait for it.
    std::atomic<bool> secondWriterIn{false};
    std::thread secondWriter([&] {
        WriteGuard guard(lock);
        secondWriterIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.PendingWriter() != 0; }));
    EXPECT_FALSE(secondWriterIn.load());
    endRead.Open();
    EXPECT_TRUE(WaitUntil([&] { return secondWriterIn.load(); }));
    upgrader.join();
    secondWriter.join();
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
}

TEST(RWCriticalSection, NestedReadPassesWhileWriterWaits) {
    TRWCriticalSection lock;
    std::atomic<bool> writerIn{false};
    std::atomic<bool> nestedDone{false};
    std::atomic<bool> writerInDuringNested{false};
    Gate writerRequested;
    test::ThreadGate readerIn(1);
    std::thread reader([&] {
        lock.BeginRead();
        readerIn.CountDown();
        writerRequested.Pass();
        lock.BeginRead();  // must not block behind the waiting writer
        writerInDuringNested = writerIn.load();
        lock.EndRead();
        nestedDone = true;
        lock.EndRead();
    });
    readerIn.Wait();
    std::thread writer([&] {
        WriteGuard guard(lock);
        writerIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.PendingWriter() != 0; }));
    writerRequested.Open();
    EXPECT_TRUE(WaitUntil([&] { return nestedDone.load(); }));
    EXPECT_TRUE(WaitUntil([&] { return writerIn.load(); }));
    EXPECT_FALSE(writerInDuringNested.load());
    reader.join();
    writer.join();
}

TEST(RWCriticalSection, NestedWriteKeepsReadersOutUntilOutermostEnd) {
    TRWCriticalSection lock;
    lock.BeginWrite();
    lock.BeginWrite();
    std::atomic<bool> readerIn{false};
    std::atomic<bool> trying{false};
    std::thread reader([&] {
        trying = true;
        ReadGuard guard(lock);
        readerIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return trying.load(); }));
    lock.EndWrite();
    std::this_thread::yield();
    EXPECT_FALSE(readerIn.load());
    lock.EndWrite();
    EXPECT_TRUE(WaitUntil([&] { return readerIn.load(); }));
    reader.join();
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
}

TEST(RWCriticalSection, ThreadTableGrowsByTwoAndReusesFreeEntries) {
    TRWCriticalSection lock;
    EXPECT_EQ(lock.ActiveThreadCapacity(), 3u);
    std::atomic<int> inside{0};
    std::vector<HeldReader> readers;

    StartReaders(lock, readers, 3, inside);
    EXPECT_EQ(lock.ActiveThreadCapacity(), 3u);
    StartReaders(lock, readers, 2, inside);
    EXPECT_EQ(lock.ActiveThreadCapacity(), 5u);
    EXPECT_EQ(lock.ActiveThreadCount(), 5u);
    ReleaseAll(readers);
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
    EXPECT_EQ(lock.ActiveThreadCapacity(), 5u);

    StartReaders(lock, readers, 5, inside);
    EXPECT_EQ(lock.ActiveThreadCapacity(), 5u);  // free entries reused, no growth
    StartReaders(lock, readers, 1, inside);
    EXPECT_EQ(lock.ActiveThreadCapacity(), 7u);
    EXPECT_EQ(lock.ActiveThreadCount(), 6u);
    ReleaseAll(readers);
    EXPECT_EQ(lock.ActiveThreadCount(), 0u);
    EXPECT_TRUE(FreeForWriter(lock));
}

TEST(RWCriticalSection, EndReadWithoutReadAssertsAndChangesNothing) {
    TRWCriticalSection lock;
    try {
        lock.EndRead();
        FAIL() << "EndRead without a read must assert";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Assertion failure (Packages\\ZELTools\\rwsyncs, line 191)");
    }
    EXPECT_TRUE(FreeForWriter(lock));

    // Another thread's read stays in force after the failed call.
    std::atomic<int> inside{0};
    std::vector<HeldReader> readers;
    StartReaders(lock, readers, 1, inside);
    EXPECT_THROW(lock.EndRead(), EAssertionFailed);
    EXPECT_EQ(lock.ActiveThreadCount(), 1u);
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        WriteGuard guard(lock);
        writerIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.PendingWriter() != 0; }));
    EXPECT_FALSE(writerIn.load());
    ReleaseAll(readers);
    EXPECT_TRUE(WaitUntil([&] { return writerIn.load(); }));
    writer.join();
}

TEST(RWCriticalSection, EndWriteWithoutWriteDoesNothing) {
    TRWCriticalSection lock;
    lock.EndWrite();
    lock.BeginRead();
    lock.EndWrite();  // a reader that does not write
    EXPECT_EQ(lock.ActiveThreadCount(), 1u);
    lock.EndRead();
    EXPECT_TRUE(FreeForWriter(lock));
}

TEST(RWCriticalSection, DestructionWaitsForReader) {
    auto lock = std::make_unique<TRWCriticalSection>();
    std::atomic<int> inside{0};
    std::vector<HeldReader> readers;
    StartReaders(*lock, readers, 1, inside);
    TRWCriticalSection* raw = lock.get();
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        lock.reset();
        destroyed = true;
    });
    // The destroyer becomes the pending writer and stays there while the read lasts.
    ASSERT_TRUE(WaitUntil([&] { return raw->PendingWriter() != 0; }));
    EXPECT_FALSE(destroyed.load());
    ReleaseAll(readers);
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
    destroyer.join();
}

// The lock is destroyed while its last reader is still leaving: the destructor must not
// finish before that reader has stopped touching the object (shows under ASan/TSan).
TEST(RWCriticalSection, DestructionRacingLastEndReadIsSafe) {
    for (int round = 0; round < 300; ++round) {
        auto lock = std::make_unique<TRWCriticalSection>();
        test::ThreadGate reading(1);
        std::thread reader([&reading, raw = lock.get()] {
            raw->BeginRead();
            reading.CountDown();
            raw->EndRead();
        });
        reading.Wait();
        lock.reset();
        reader.join();
    }
}

}  // namespace
}  // namespace vorlan

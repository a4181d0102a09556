// The critical section, the last-exception text holder, and the readers-writer lock
// under a mixed load of nested reads, upgrades and writes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/rwsync.h"
#include "thread_sync.h"

namespace vorlan {
namespace {

using test::WaitUntil;

TEST(CriticalSection, ReentersAndExcludesOtherThreads) {
    TCriticalSection cs;
    cs.Enter();
    cs.Enter();  // the owner enters again at once
    std::atomic<bool> otherIn{false};
    std::atomic<bool> trying{false};
    std::thread other([&] {
        trying = true;
        CriticalGuard guard(cs);
        otherIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return trying.load(); }));
    cs.Leave();
    std::this_thread::yield();
    EXPECT_FALSE(otherIn.load());  // one Enter still held
    cs.Leave();
    EXPECT_TRUE(WaitUntil([&] { return otherIn.load(); }));
    other.join();
}

TEST(CriticalSection, SerialisesCountersThroughAcquireAndRelease) {
    TCriticalSection cs;
    TSynchroObject& object = cs;
    long counter = 0;  // plain on purpose: the section is the only protection
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    test::ThreadGate start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            start.ArriveAndWait();
            for (int i = 0; i < kRounds; ++i) {
                object.Acquire();
                ++counter;
                object.Release();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

TEST(SyncExceptStr, StartsEmptyAndKeepsLastText) {
    TSyncExceptStr holder;
    EXPECT_EQ(holder.GetText(), "");
    holder.SetText("TMProCryptoEngine.EncodeData: EInOutError: File not found");
    std::string copy = holder.GetText();
    holder.SetText("second");
    EXPECT_EQ(copy, "TMProCryptoEngine.EncodeData: EInOutError: File not found");
    EXPECT_EQ(holder.GetText(), "second");
    holder.SetText("");
    EXPECT_EQ(holder.GetText(), "");
}

TEST(SyncExceptStr, ReadersNeverSeeTornText) {
    TSyncExceptStr holder;
    const std::string shortText(300, 'a');
    const std::string longText(5000, 'b');
    holder.SetText(shortText);
    constexpr int kReaders = 3;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<long> reads{0};
    test::ThreadGate start(kReaders + 1);
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&] {
            start.ArriveAndWait();
            while (!stop.load()) {
                const std::string text = holder.GetText();
                if (text != shortText && text != longText) ++torn;
                ++reads;
            }
        });
    }
    start.ArriveAndWait();
    for (int i = 0; i < 20000; ++i) holder.SetText(i % 2 == 0 ? longText : shortText);
    // Let the readers take some more turns against the final text.
    EXPECT_TRUE(WaitUntil([&] { return reads.load() > 100; }));
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(torn.load(), 0);
}

// Readers check a pair that writers change in two steps; any overlap of a reader with
// a writer, or of two writers, shows as a mismatch or as both counts non-zero.
struct SharedPair {
    TRWCriticalSection lock;
    long first = 0;
    long second = 0;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> violations{0};

    void Read() {
        ReadGuard read(lock);
        ++readers;
        ReadGuard nested(lock);
        if (writers.load() != 0 || first != second) ++violations;
        --readers;
    }
    void Change(bool readInside) {
        if (++writers != 1 || readers.load() != 0) ++violations;
        ++first;
        if (readInside) {
            ReadGuard inner(lock);  // a read inside the write is not recorded
            ++second;
        } else {
            ++second;
        }
        --writers;
    }
    void Write() {
        WriteGuard write(lock);
        Change(true);
    }
    void Upgrade() {
        ReadGuard read(lock);
        WriteGuard write(lock);
        Change(false);
    }
};

void RunMixedLoad(SharedPair& pair, bool upgrades) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3000;
    test::ThreadGate start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.ArriveAndWait();
            for (int i = 0; i < kRounds; ++i) {
                if (upgrades) {
                    // One upgrading thread among readers: two upgraders (or an upgrader
                    // and another writer) would wait for each other by design.
                    if (t == 0 && i % 2 == 0) {
                        pair.Upgrade();
                    } else {
                        pair.Read();
                    }
                } else if ((i + t) % 3 == 0) {
                    pair.Write();
                } else {
                    pair.Read();
                }
            }
        });
    }
    for (auto& t : threads) t.join();
}

TEST(RWCriticalSection, MixedReadsAndWritesKeepExclusion) {
    SharedPair pair;
    RunMixedLoad(pair, false);
    EXPECT_EQ(pair.violations.load(), 0);
    EXPECT_EQ(pair.first, pair.second);
    EXPECT_GT(pair.first, 0);
    EXPECT_EQ(pair.lock.ActiveThreadCount(), 0u);
}

TEST(RWCriticalSection, UpgradesAmongReadersKeepExclusion) {
    SharedPair pair;
    RunMixedLoad(pair, true);
    EXPECT_EQ(pair.violations.load(), 0);
    EXPECT_EQ(pair.first, 1500);
    EXPECT_EQ(pair.first, pair.second);
    EXPECT_EQ(pair.lock.ActiveThreadCount(), 0u);
}

}  // namespace
}  // namespace vorlan

// Cost of the readers-writer lock next to std::shared_mutex: a nested read, a first
// read, a write, each uncontended, and reads from two threads at once.
#include <benchmark/benchmark.h>

#include <shared_mutex>
#include <string>

#include "support/rwsync.h"

namespace {

// Compare: labels a result with the std::shared_mutex benchmark it compares with (same threads).
void Compare(benchmark::State& state, const std::string& reference) {
    state.SetLabel(state.threads() > 1 ? "~" + reference + "/threads:" + std::to_string(state.threads()) : "~" + reference);
}

vorlan::TRWCriticalSection g_lock;
std::shared_mutex g_shared;

// A read taken while the thread already reads: TableGuard and counters only.
void BM_NestedRead(benchmark::State& state) {
    vorlan::ReadGuard outer(g_lock);
    for (auto _ : state) {
        g_lock.BeginRead();
        g_lock.EndRead();
    }
    Compare(state, "BM_SharedMutexShared");
}
BENCHMARK(BM_NestedRead);
BENCHMARK(BM_NestedRead)->Threads(2);

// A thread's first read: Lock, the table and (for the first reader) the event.
void BM_FirstRead(benchmark::State& state) {
    for (auto _ : state) {
        g_lock.BeginRead();
        g_lock.EndRead();
    }
    Compare(state, "BM_SharedMutexShared");
}
BENCHMARK(BM_FirstRead);
BENCHMARK(BM_FirstRead)->Threads(2);

void BM_Write(benchmark::State& state) {
    for (auto _ : state) {
        g_lock.BeginWrite();
        g_lock.EndWrite();
    }
    Compare(state, "BM_SharedMutexExclusive");
}
BENCHMARK(BM_Write);

void BM_SharedMutexShared(benchmark::State& state) {
    for (auto _ : state) {
        g_shared.lock_shared();
        g_shared.unlock_shared();
    }
    state.SetLabel("=");
}
BENCHMARK(BM_SharedMutexShared);
BENCHMARK(BM_SharedMutexShared)->Threads(2);

void BM_SharedMutexExclusive(benchmark::State& state) {
    for (auto _ : state) {
        g_shared.lock();
        g_shared.unlock();
    }
    state.SetLabel("=");
}
BENCHMARK(BM_SharedMutexExclusive);

// The last-exception holder as the engines use it.
void BM_ExceptStrGetText(benchmark::State& state) {
    static vorlan::TSyncExceptStr holder;
    holder.SetText("TMProCryptoEngine.EncodeData: EInOutError: File not found");
    for (auto _ : state) benchmark::DoNotOptimize(holder.GetText());
}
BENCHMARK(BM_ExceptStrGetText);

}  // namespace

BENCHMARK_MAIN();

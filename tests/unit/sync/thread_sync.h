// Helpers of threaded tests: a one-shot latch on a mutex and condition variable (the
// library's std::latch waits on atomics, which hang now and then in the 32-bit Windows
// build), and bounded polling that detects a deadlock or a missing wake-up without
// making correctness depend on timing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace vorlan::test {

// Latch: count_down n times opens it; wait blocks until open.
class Latch {
public:
    explicit Latch(std::ptrdiff_t count) : count_(count) {}
    // count_down: one arrival; the last one wakes every waiter.
    void count_down() {
        std::lock_guard<std::mutex> hold(mutex_);
        if (count_ > 0 && --count_ == 0) cond_.notify_all();
    }
    // wait: blocks until the count has reached zero.
    void wait() {
        std::unique_lock<std::mutex> hold(mutex_);
        cond_.wait(hold, [this] { return count_ == 0; });
    }
    // arrive_and_wait: count_down, then wait (a one-phase start barrier).
    void arrive_and_wait() {
        count_down();
        wait();
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    std::ptrdiff_t count_;
};

// WaitUntil: true as soon as pred() holds, false after the timeout (a hang).
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vorlan::test

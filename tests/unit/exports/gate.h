// Gate: a one-shot signal between test threads, on a mutex and a condition variable
// (std::latch and std::barrier wait on atomics, which miss wake-ups in the Windows build).
#pragma once

#include <condition_variable>
#include <mutex>

namespace vorlan::testing {

class Gate {
public:
    // Open: releases every thread waiting now or later.
    void Open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    // Wait: blocks until the gate is open.
    void Wait() {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

}  // namespace vorlan::testing

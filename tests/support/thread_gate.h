// ThreadGate: lets test threads start together or wait for a signal, on a mutex and a
// condition variable (std::latch waits on atomics and hangs in the mingw/Wine build).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace vorlan::test {

class ThreadGate {
public:
    // ThreadGate: opens after count arrivals (1: a plain signal opened by Open).
    explicit ThreadGate(std::ptrdiff_t count = 1) : count_(count) {}
    ThreadGate(const ThreadGate&) = delete;
    ThreadGate& operator=(const ThreadGate&) = delete;

    // CountDown: one arrival; the last one releases every waiter.
    void CountDown() {
        std::lock_guard<std::mutex> hold(mutex_);
        if (count_ > 0 && --count_ == 0) opened_.notify_all();
    }
    // Open: releases every thread waiting now or later, whatever the count.
    void Open() {
        std::lock_guard<std::mutex> hold(mutex_);
        count_ = 0;
        opened_.notify_all();
    }
    // Wait: blocks until the gate is open.
    void Wait() {
        std::unique_lock<std::mutex> hold(mutex_);
        opened_.wait(hold, [this] { return count_ == 0; });
    }
    // ArriveAndWait: CountDown, then Wait (all threads start together).
    void ArriveAndWait() {
        CountDown();
        Wait();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    std::ptrdiff_t count_;
};

}  // namespace vorlan::test

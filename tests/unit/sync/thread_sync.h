// Helpers of threaded tests: the shared thread gate, and bounded polling that detects a
// deadlock or a missing wake-up without making correctness depend on timing.
#pragma once

#include <chrono>
#include <thread>

#include "support/thread_gate.h"

namespace vorlan::test {

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

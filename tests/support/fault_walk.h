// WalkFaults: walks an injected failure over every changing call of an operation and checks
// that each run leaves the old state or the new one, never a half.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fault_injection.h"

namespace vorlan::test {

// WalkFaults: restore(), then run() once without a failure (it must succeed) to learn the
// old and the new state (snapshot()) and the number of changing calls; then for each call k:
// restore(), run() with call k failing, expect the new state when run() succeeded and the old
// one when it failed, and hand k and the result to after() (which may run the next call).
// observe, when given, sees every changing call of every run.
template <class Snapshot>
void WalkFaults(const std::function<void()>& restore, const std::function<bool()>& run, Snapshot snapshot,
                const std::function<void(std::uint32_t, bool)>& after,
                const std::function<void(const platform::DiskCall&)>& observe = nullptr) {
    restore();
    const auto oldState = snapshot();
    std::uint32_t total = 0;
    {
        platform::ScopedFaultPlan count({.observe = observe});
        ASSERT_TRUE(run());
        total = count.Calls();
    }
    const auto newState = snapshot();
    ASSERT_NE(newState, oldState);
    for (std::uint32_t k = 1; k <= total; ++k) {
        SCOPED_TRACE("failing call " + std::to_string(k) + " of " + std::to_string(total));
        restore();
        bool succeeded = false;
        {
            platform::ScopedFaultPlan plan({.failCall = k, .observe = observe});
            succeeded = run();
        }
        EXPECT_TRUE(snapshot() == (succeeded ? newState : oldState)) << (succeeded ? "not the new state" : "not the old state");
        after(k, succeeded);
    }
}

}  // namespace vorlan::test

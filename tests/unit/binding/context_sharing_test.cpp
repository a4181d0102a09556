// Contexts shared between threads: with a reentrant plug-in, calls that open a context run
// beside other calls, and a context leaves the toolkit only when its last call returns.
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "fake_fixture.h"
#include "support/thread_gate.h"

namespace vorlan::test {
namespace {

class ContextSharing : public BindingTest {
protected:
    void SetUp() override {
        BindingTest::SetUp();
        if (HasFatalFailure()) return;
        if (!binding_->Complete) GTEST_SKIP() << "the toolkit calls need a complete plug-in";
        // Each reading of the clock is a millisecond later: at lifetime 0 no call finds the
        // context of another.
        SetCacheClockForTests([this] { return 45000.5 + static_cast<double>(++ticks_) * kDaysPerSecond / 1000; });
    }
    // Encode: EncodeData on a vector of key K with the given lifetime.
    std::int32_t Encode(const std::string& k, const char* lifetime) {
        std::int32_t length = 0;
        return binding_->EncodeData(Vector({{0, k}, {21, lifetime}}), nullptr, &length, "A");
    }
    // EncodeOnTwoThreads: two threads start together, each encrypting once at lifetime 0.
    void EncodeOnTwoThreads() {
        ThreadGate start(2);
        auto work = [&] {
            start.ArriveAndWait();
            EXPECT_EQ(Encode("K", "0"), 0);
        };
        std::thread a(work), b(work);
        a.join();
        b.join();
    }
    // Position: the index of the first logged call of function on context, or npos.
    std::size_t Position(const std::string& function, const std::string& context) const {
        std::string log(static_cast<std::size_t>(fake_->CallLogRaw(nullptr, 0)) + 1, '\0');
        fake_->CallLogRaw(log.data(), static_cast<std::int32_t>(log.size()));
        return log.find(function + "|" + context + "|");
    }

    std::atomic<long> ticks_{0};
};

// Two threads at lifetime 0, each opening its own context: the toolkit sees both inside at once
// (when the plug-in lets threads in) while they open the context and while they use it.
TEST_F(ContextSharing, CallsOnNewContextsOverlapExactlyWhenThePluginIsReentrant) {
    const bool reentrant = PluginReentrant();
    for (const char* step : {"InitCrypto", "KeysRenewal", "EncodeData"}) {
        SCOPED_TRACE(step);
        fake_->Reset();
        fake_->SetRendezvous(step, 2, reentrant ? 5000 : 200);
        EncodeOnTwoThreads();
        EXPECT_EQ(fake_->CallCount("InitCrypto"), 2);
        EXPECT_EQ(fake_->MaxConcurrency(), reentrant ? 2 : 1);
        EXPECT_EQ(fake_->OpenContexts(), 1) << "the context of the key that is no longer cached was closed";
    }
}

// Thread A works on its context when thread B replaces it in the cache: A's context is closed
// after both calls, by the last one to leave it, never under a running call.
TEST_F(ContextSharing, ReplacedContextIsClosedByItsLastCall) {
    if (!PluginReentrant()) GTEST_SKIP() << "calls are serialised";
    fake_->SetRendezvous("EncodeData", 2, 5000);
    EncodeOnTwoThreads();
    ASSERT_EQ(fake_->MaxConcurrency(), 2);
    const auto done = fake_->Calls("DoneCrypto");
    ASSERT_EQ(done.size(), 1u);
    const auto encoded = fake_->Calls("EncodeData");
    ASSERT_EQ(encoded.size(), 2u);
    const std::size_t closed = Position("DoneCrypto", done[0][1]);
    for (const auto& call : encoded) EXPECT_LT(Position("EncodeData", call[1]), closed);
    EXPECT_EQ(fake_->OpenContexts(), 1);
}

// ClearCash while a call runs on a cached context: the cache is empty at once, the running
// call keeps its context until it returns, and the next call opens a new one.
TEST_F(ContextSharing, ClearCashLeavesARunningCallItsContext) {
    if (!PluginReentrant()) GTEST_SKIP() << "ClearCash waits at ToolkitLock";
    ASSERT_EQ(Encode("K1", "3600"), 0);
    const std::string first = fake_->Calls("EncodeData").back()[1];
    fake_->Reset();
    fake_->SetRendezvous("EncodeData", 2, 5000);
    std::thread a([&] { EXPECT_EQ(Encode("K1", "3600"), 0); });
    while (fake_->CallCount("EncodeData") == 0) std::this_thread::yield();

    binding_->ClearCash();
    EXPECT_EQ(fake_->CallCount("DoneCrypto"), 0) << "closed under a running call";
    ASSERT_EQ(Encode("K2", "3600"), 0);  // second arrival: lets A return
    a.join();
    const auto done = fake_->Calls("DoneCrypto");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0][1], first);

    fake_->Reset();
    ASSERT_EQ(Encode("K1", "3600"), 0);
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_NE(fake_->Calls("EncodeData").back()[1], first);
}

}  // namespace
}  // namespace vorlan::test

// Many threads creating and destroying engines while others call on the same handles.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "exports/handle_set.h"
#include "support/thread_gate.h"
#include "vorlan13.h"

namespace {

TEST(Threads, CallsRacingWithCreationAndDestructionNeverCrash) {
    constexpr int kSlots = 8;
    constexpr int kMakers = 2;
    constexpr int kCallers = 4;
    constexpr int kRounds = 300;
    const std::size_t before = vorlan::exports::LiveEngineCount();

    std::array<std::atomic<VORLAN_HANDLE>, kSlots> slots{};
    std::atomic<int> unexpected{0};
    vorlan::test::ThreadGate start;
    std::vector<std::thread> threads;

    for (int m = 0; m < kMakers; ++m) {
        threads.emplace_back([&, m] {
            start.Wait();
            for (int round = 0; round < kRounds; ++round) {
                auto& slot = slots[(round * kMakers + m) % kSlots];
                VORLAN_HANDLE fresh = GetCryptObj(round);
                if (!fresh) ++unexpected;
                DoneEngine(slot.exchange(fresh));
            }
        });
    }
    for (int c = 0; c < kCallers; ++c) {
        threads.emplace_back([&, c] {
            start.Wait();
            for (int round = 0; round < kRounds * 4; ++round) {
                VORLAN_HANDLE handle = slots[(round + c) % kSlots].load();
                // Live: the base answers; destroyed meanwhile: the error result. Nothing else.
                const int32_t keys = IsDifferentKeys(handle);
                if (keys != 0 && keys != -1) ++unexpected;
                const int32_t sign = SignFile(handle, round);
                if (sign != -1 && sign != -102) ++unexpected;
                if (GetMaxFilePathLength(handle) != 255) ++unexpected;
                const int32_t hash = HashData(handle, 1, 2, 3, 4, round);
                if (hash != -1 && hash != -102) ++unexpected;
            }
        });
    }
    start.Open();
    for (auto& t : threads) t.join();
    for (auto& slot : slots) DoneEngine(slot.exchange(nullptr));

    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(vorlan::exports::LiveEngineCount(), before);
}

}  // namespace

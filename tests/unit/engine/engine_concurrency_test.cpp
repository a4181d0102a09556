// Several threads on one engine and on two engines: the same results as one thread, and
// the renewal hold released by an engine that still kept it.
#include <thread>

#include "engine_fixture.h"
#include "support/file_utils.h"
#include "support/thread_gate.h"

namespace vorlan::test {
namespace {

// One round of operations; the results in order.
std::vector<std::int32_t> Round(TMProWinCryptoEngine& engine) {
    std::vector<std::int32_t> results;
    unsigned char data[64] = "data";
    std::int32_t size = 4;
    unsigned char signature[64];
    std::int32_t length = sizeof signature;
    char signer[40] = {};
    results.push_back(engine.EncodeData(data, &size, "A;B"));
    results.push_back(size);
    size = 4;
    results.push_back(engine.DecodeData(data, &size, signer));
    results.push_back(engine.SignData(data, 4, signature, &length, "A"));
    results.push_back(engine.VerifyData(data, 4, signature, 3, signer));
    results.push_back(signer[0]);
    results.push_back(engine.EncodeData(data, &size, "A;"));
    results.push_back(engine.GetCurrentUserUID(signer));
    results.push_back(engine.VerifySignWOCheckValidity(data, 4, signature, 3, signer));
    return results;
}

class EngineConcurrencyTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetLogging(false);
        Fake().SetText("EncodeData", "ENCRYPTED");
        Fake().SetText("VerifyData", "/CN=A");
        Fake().SetText("VerifyDataIgnoreTime", "/CN=A");
        Fake().SetText("GetCurrentUID", "/CN=A");
        WriteFile("certs\\A.pem", "a");
        WriteFile("certs\\B.pem", "b");  // carries the CN A: -106
    }
    void TearDown() override {
        Fake().SetLogging(true);
        EngineTest::TearDown();
    }
    static constexpr int kRounds = 150;

    // RunTwoThreads: kRounds rounds on each of two threads, started together.
    void RunTwoThreads(TMProWinCryptoEngine& first, TMProWinCryptoEngine& second,
                       const std::vector<std::int32_t>& expected) {
        ThreadGate start(2);
        std::vector<int> mismatches(2, 0);
        auto worker = [&](TMProWinCryptoEngine& engine, int index) {
            start.ArriveAndWait();
            for (int i = 0; i < kRounds; ++i)
                if (Round(engine) != expected) ++mismatches[index];
        };
        std::thread a(worker, std::ref(first), 0);
        std::thread b(worker, std::ref(second), 1);
        a.join();
        b.join();
        EXPECT_EQ(mismatches[0], 0);
        EXPECT_EQ(mismatches[1], 0);
    }
};

TEST_F(EngineConcurrencyTest, OneEngineTwoThreads) {
    const auto expected = Round(*engine_);
    ASSERT_EQ(expected[0], -106);
    RunTwoThreads(*engine_, *engine_, expected);
}

TEST_F(EngineConcurrencyTest, TwoEnginesTwoThreads) {
    const auto expected = Round(*engine_);
    TMProWinCryptoEngine other;
    other.SetRootPath(root_);
    ASSERT_EQ(other.SetCryptoParamValue(2, (root_ + "certs").c_str()), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(22, "60"), 0);  // one engine reuses its context, one does not
    RunTwoThreads(*engine_, other, expected);
}

TEST_F(EngineConcurrencyTest, FirstCallsOnAFreshEngineShareOneBinding) {
    TMProWinCryptoEngine fresh;
    ThreadGate start(2);
    std::vector<std::int32_t> counts(2);
    auto worker = [&](int index) {
        start.ArriveAndWait();
        counts[index] = fresh.GetCryptoParamNumber();
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(counts[0], 26);
    EXPECT_EQ(counts[1], 26);
}

// The renewal hold belongs to the engine: taken on a thread that then ends, refused to
// another engine at once, and released with the engine on a third thread.
TEST_F(EngineConcurrencyTest, DestroyingAnEngineReleasesTheHoldItKeeps) {
    auto holder = std::make_unique<TMProWinCryptoEngine>();
    ASSERT_TRUE(CreateDirectoryPath(Path("P")));
    ASSERT_EQ(holder->SetCryptoParamValue(3, Path("P").c_str()), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(3, Path("P").c_str()), 0);
    std::thread([&] { EXPECT_EQ(holder->HoldPSELock(), 0); }).join();
    EXPECT_EQ(engine_->HoldPSELock(), -132);
    std::thread([&] { holder.reset(); }).join();
    std::int32_t result = 0;
    std::thread other([&] {
        unsigned char data[64] = "x";
        std::int32_t size = 1;
        result = engine_->EncodeData(data, &size, nullptr);  // waits at the hold's gate until it ends
    });
    other.join();
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace vorlan::test

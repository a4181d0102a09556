// Contexts used from several threads at once, and contexts opened and closed while
// others work.
#include <atomic>
#include <cstring>
#include <thread>

#include "harness.h"
#include "support/thread_gate.h"

namespace tkt {
namespace {

class ThreadsTest : public ToolkitTest {};

TEST_P(ThreadsTest, SharedContextServesManyThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20;
    mpro::Context ctx = Open("USER01");
    std::string list = Pki().SubjectLine("USER01") + ";" + Pki().SubjectLine("USER02");
    vorlan::test::ThreadGate start(kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.ArriveAndWait();
            for (int i = 0; i < kRounds; ++i) {
                std::string text = "thread " + std::to_string(t) + " round " + std::to_string(i);
                std::vector<unsigned char> buf(text.size() + 2 * 4096);
                std::memcpy(buf.data(), text.data(), text.size());
                std::int32_t len = static_cast<std::int32_t>(text.size());
                std::string who(4096, '\0');
                if (Tk().EncodeData(ctx, buf.data(), &len, list.c_str()) != 0 || Tk().DecodeData(ctx, buf.data(), &len, who.data()) != 0 ||
                    std::string(reinterpret_cast<char*>(buf.data()), static_cast<std::size_t>(len)) != text)
                    ++failures;
                std::vector<unsigned char> sig(4224);
                std::int32_t slen = 4224;
                std::int32_t dlen = static_cast<std::int32_t>(text.size());
                if (Tk().SignData(ctx, reinterpret_cast<const unsigned char*>(text.data()), dlen, sig.data(), &slen, "") != 0 ||
                    Tk().VerifyData(ctx, reinterpret_cast<const unsigned char*>(text.data()), &dlen, sig.data(), slen, who.data()) != 0)
                    ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_P(ThreadsTest, ContextsOpenAndCloseConcurrently) {
    constexpr int kThreads = 4;
    vorlan::test::ThreadGate start(kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    std::string cert = Pki().CertFile("USER02");
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            start.ArriveAndWait();
            for (int i = 0; i < 50; ++i) {
                mpro::Context c = Tk().InitCrypto();
                std::string uid(4096, '\0');
                if (c == 0 || Tk().SetCryptoParamValue(c, 0, cert.c_str()) != 0 || Tk().KeysRenewal(c) != 0 ||
                    Tk().GetCurrentUID(c, uid.data()) != 0 || Tk().DoneCrypto(c) != 0)
                    ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_P(ThreadsTest, LastErrorBelongsToTheCallingThread) {
    mpro::Context ctx = Open("USER01");
    std::vector<unsigned char> buf(5000);
    std::int32_t len = 5;
    ASSERT_LE(Tk().EncodeData(ctx, buf.data(), &len, "/CN=MAIN-THREAD-ONLY"), -1000);
    std::string other;
    std::thread([&] {
        std::vector<unsigned char> b(5000);
        std::int32_t l = 5;
        Tk().EncodeData(ctx, b.data(), &l, "/CN=WORKER-THREAD");
        other = LastError();
    }).join();
    EXPECT_NE(other.find("WORKER-THREAD"), std::string::npos);
    EXPECT_NE(LastError().find("MAIN-THREAD-ONLY"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, ThreadsTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt

// The certificate directory changed while other threads use it, real toolkit: encryption
// for a correspondent whose certificate is being replaced never fails, and concurrent
// includes of one UID each get a backup of their own.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "installation.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/thread_gate.h"

namespace vorlan::test {
namespace {

class StoreConcurrency : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
    }
    std::int32_t Encode(VORLAN_HANDLE h, const char* uid) const {
        std::string buffer = "Statement for " + std::string(uid);
        auto size = static_cast<std::int32_t>(buffer.size());
        buffer.resize(buffer.size() + 4096);
        return EncodeData(h, reinterpret_cast<unsigned char*>(buffer.data()), &size, uid);
    }
    std::size_t Backups(const std::string& uid) const {
        return platform::Enumerate(install_->Path("certs\\" + uid + ".0*")).size();
    }
    Installation* install_ = nullptr;
};

TEST_P(StoreConcurrency, EncryptionNeverMissesACertificateBeingReplaced) {
    EnginePtr admin = install_->Open("USER01");
    std::vector<std::string> staged;
    for (long serial = 601; serial <= 604; ++serial) staged.push_back(install_->StageCertificate("USER04", serial));
    ASSERT_EQ(IncludePublicKey(admin.get(), staged[0].c_str()), 0);

    EnginePtr sender = install_->Open("USER01");
    std::atomic<bool> done{false};
    std::atomic<int> encoded{0};
    std::vector<std::int32_t> failures;
    std::thread reader([&] {
        while (!done) {
            if (const std::int32_t code = Encode(sender.get(), "USER04"); code != 0) failures.push_back(code);
            ++encoded;
        }
    });
    for (std::size_t i = 1; i < staged.size(); ++i) EXPECT_EQ(IncludePublicKey(admin.get(), staged[i].c_str()), 0);
    while (encoded < 3) platform::YieldThread();
    done = true;
    reader.join();
    EXPECT_EQ(failures, std::vector<std::int32_t>{});
}

TEST_P(StoreConcurrency, ConcurrentIncludesOfOneUIDGetBackupsOfTheirOwn) {
    const std::string first = install_->StageCertificate("USER05", 701);
    ASSERT_EQ(IncludePublicKey(install_->Open("USER01").get(), first.c_str()), 0);
    const std::size_t before = Backups("USER05");
    for (long round = 0; round < 2; ++round) {
        const std::string a = install_->StageCertificate("USER05", 710 + 2 * round);
        const std::string b = install_->StageCertificate("USER05", 711 + 2 * round);
        EnginePtr one = install_->Open("USER01"), two = install_->Open("USER02");
        ThreadGate start(2);
        std::int32_t results[2] = {-1, -1};
        std::thread x([&] { start.ArriveAndWait(); results[0] = IncludePublicKey(one.get(), a.c_str()); });
        std::thread y([&] { start.ArriveAndWait(); results[1] = IncludePublicKey(two.get(), b.c_str()); });
        x.join();
        y.join();
        EXPECT_EQ(results[0], 0);
        EXPECT_EQ(results[1], 0);
    }
    EXPECT_EQ(Backups("USER05"), before + 4);
    EXPECT_EQ(Encode(install_->Open("USER01").get(), "USER05"), 0);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, StoreConcurrency, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test

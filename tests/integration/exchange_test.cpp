// End to end through the exports with the real toolkit, in GOST and in RSA: encryption for
// several correspondents, detached and attached signatures, revoked and expired signers,
// the certificate directory, and several threads, also while certificates are replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "exchange_fixture.h"
#include "support/thread_gate.h"
#include "platform/platform.h"

namespace vorlan::test {
namespace {

TEST_P(ExchangeTest, EncryptedForTwoAndEachDecrypts) {
    EnginePtr sender = install_->Open("USER01");
    std::string buffer = message_;
    buffer.resize(message_.size() + 2 * static_cast<std::size_t>(GetMaxEncodeAddition(sender.get())));
    std::int32_t size = Size(message_);
    const std::int32_t code = EncodeData(sender.get(), Bytes(buffer), &size, "USER02;USER03");
    ASSERT_EQ(code, 0) << ErrorText(sender.get(), code);
    const std::string encrypted = buffer.substr(0, static_cast<std::size_t>(size));
    EXPECT_EQ(encrypted.find("Payment order"), std::string::npos);
    for (const char* user : {"USER02", "USER03"}) {
        EnginePtr receiver = install_->Open(user);
        std::string copy = encrypted;
        std::int32_t length = Size(copy);
        char scratch[64];
        const std::int32_t result = DecodeData(receiver.get(), Bytes(copy), &length, scratch);
        ASSERT_EQ(result, 0) << user << ": " << ErrorText(receiver.get(), result);
        EXPECT_EQ(copy.substr(0, static_cast<std::size_t>(length)), message_) << user;
    }
    EnginePtr outsider = install_->Open("USER01");
    std::string copy = encrypted;
    std::int32_t length = Size(copy);
    char scratch[64];
    EXPECT_NE(DecodeData(outsider.get(), Bytes(copy), &length, scratch), 0) << "USER01 is no recipient";
    size = Size(message_);
    EXPECT_EQ(EncodeData(sender.get(), Bytes(buffer), &size, "USER02;NOBODY"), -113);
}

TEST_P(ExchangeTest, SignaturesNameTheSigner) {
    EnginePtr signer = install_->Open("USER01");
    EnginePtr checker = install_->Open("USER02");
    const std::string signature = Sign(signer.get(), message_);
    char uid[40] = {};
    std::int32_t code = VerifyData(checker.get(), Bytes(message_), Size(message_), Bytes(signature), Size(signature), uid);
    ASSERT_EQ(code, 0) << ErrorText(checker.get(), code);
    EXPECT_STREQ(uid, "USER01");
    std::string forged = message_;
    forged[0] = 'p';
    EXPECT_NE(VerifyData(checker.get(), Bytes(forged), Size(forged), Bytes(signature), Size(signature), uid), 0);

    std::string attached = message_;
    attached.resize(message_.size() + static_cast<std::size_t>(GetMaxSignAddition(signer.get())));
    std::int32_t size = Size(message_);
    code = AddSign(signer.get(), Bytes(attached), &size, "USER01");
    ASSERT_EQ(code, 0) << ErrorText(signer.get(), code);
    EXPECT_GT(size, Size(message_));
    std::memset(uid, 0, sizeof uid);
    code = RemoveSign(checker.get(), Bytes(attached), &size, uid);
    ASSERT_EQ(code, 0) << ErrorText(checker.get(), code);
    EXPECT_STREQ(uid, "USER01");
    EXPECT_EQ(attached.substr(0, static_cast<std::size_t>(size)), message_);
}

TEST_P(ExchangeTest, RevokedAndExpiredSigners) {
    EnginePtr checker = install_->Open("USER02");
    char uid[40] = {};
    EnginePtr revoked = install_->Open("REVOKED");
    const std::string bySuspended = Sign(revoked.get(), message_);
    EXPECT_NE(VerifyData(checker.get(), Bytes(message_), Size(message_), Bytes(bySuspended), Size(bySuspended), uid), 0);
    EXPECT_NE(VerifySignWOCheckValidity(checker.get(), Bytes(message_), Size(message_), Bytes(bySuspended),
                                        Size(bySuspended), uid), 0)
        << "revocation is checked without the time check too";

    EnginePtr expired = install_->Open("EXPIRED");
    const std::string byExpired = Sign(expired.get(), message_);
    EXPECT_NE(VerifyData(checker.get(), Bytes(message_), Size(message_), Bytes(byExpired), Size(byExpired), uid), 0);
    const std::int32_t code = VerifySignWOCheckValidity(checker.get(), Bytes(message_), Size(message_),
                                                        Bytes(byExpired), Size(byExpired), uid);
    EXPECT_EQ(code, 0) << ErrorText(checker.get(), code);
    EXPECT_STREQ(uid, "EXPIRED");
}

TEST_P(ExchangeTest, CertificatesReplacedAndRemoved) {
    EnginePtr engine = install_->Open("USER01");
    EXPECT_EQ(IncludePublicKey(engine.get(), install_->StageCertificate("USER03", 203).c_str()), 0);
    EXPECT_TRUE(platform::FileExists(install_->Path("certs\\USER03.001")));
    EXPECT_EQ(IncludePublicKey(engine.get(), install_->StageCertificate("USER03", 303).c_str()), 0);
    EXPECT_TRUE(platform::FileExists(install_->Path("certs\\USER03.002")));
    EXPECT_EQ(UpdateCertificateCash(engine.get(), "USER03"), 0);

    EXPECT_EQ(RemoveCertificate(engine.get(), "USER01"), -120);
    EXPECT_EQ(IncludePublicKey(engine.get(), install_->StageCertificate("TEMP01", 401).c_str()), 0);
    EXPECT_EQ(RemoveCertificate(engine.get(), "TEMP01"), 0);
    EXPECT_FALSE(platform::FileExists(install_->Path("certs\\TEMP01.pem")));
    std::string buffer(4096, '\0');
    std::int32_t size = 10;
    EXPECT_EQ(EncodeData(engine.get(), Bytes(buffer), &size, "TEMP01"), -113);
    EXPECT_TRUE(platform::FileExists(install_->Path("CRL\\crl1.pem")));
}

// Two threads doing the same work on one engine and on two engines get one thread's results.
TEST_P(ExchangeTest, ThreadsGetTheSameResults) {
    EnginePtr shared = install_->Open("USER01", "60");
    EnginePtr second = install_->Open("USER01");
    EnginePtr checker = install_->Open("USER02", "60");
    auto work = [&](VORLAN_HANDLE h) {
        std::string out;
        std::string buffer = message_;
        buffer.resize(4096);
        std::int32_t size = Size(message_);
        out += std::to_string(EncodeData(h, Bytes(buffer), &size, "USER02"));
        const std::string signature = Sign(h, message_);
        char uid[40] = {};
        out += std::to_string(VerifyData(checker.get(), Bytes(message_), Size(message_), Bytes(signature),
                                         Size(signature), uid));
        std::int32_t length = size;
        char scratch[64];
        out += std::to_string(DecodeData(checker.get(), Bytes(buffer), &length, scratch));
        return out + uid + buffer.substr(0, static_cast<std::size_t>(length));
    };
    const std::string expected = work(shared.get());
    ASSERT_EQ(expected, "000USER01" + message_);
    for (VORLAN_HANDLE other : {shared.get(), second.get()}) {
        vorlan::test::ThreadGate start(2);
        std::string results[2];
        auto run = [&](VORLAN_HANDLE h, int index) {
            start.ArriveAndWait();
            for (int i = 0; i < 10; ++i)
                if (std::string r = work(h); r != expected) results[index] = r;
        };
        std::thread a(run, shared.get(), 0), b(run, other, 1);
        a.join();
        b.join();
        EXPECT_EQ(results[0], "");
        EXPECT_EQ(results[1], "");
    }
}

// Encryption for a correspondent whose certificate another thread replaces never fails.
TEST_P(ExchangeTest, EncryptionNeverMissesACertificateBeingReplaced) {
    std::vector<std::string> staged;
    for (long serial = 601; serial <= 604; ++serial) staged.push_back(install_->StageCertificate("USER04", serial));
    EnginePtr admin = install_->Open("USER01"), sender = install_->Open("USER01");
    ASSERT_EQ(IncludePublicKey(admin.get(), staged[0].c_str()), 0);
    std::atomic<bool> done{false};
    std::atomic<int> encoded{0};
    std::vector<std::int32_t> failures;
    std::thread reader([&] {
        for (std::string buffer(4096, 'x'); !done; ++encoded) {
            std::int32_t size = 16;
            if (const std::int32_t code = EncodeData(sender.get(), Bytes(buffer), &size, "USER04")) failures.push_back(code);
        }
    });
    for (std::size_t i = 1; i < staged.size(); ++i) EXPECT_EQ(IncludePublicKey(admin.get(), staged[i].c_str()), 0);
    while (encoded < 3) platform::YieldThread();
    done = true;
    reader.join();
    EXPECT_EQ(failures, std::vector<std::int32_t>{});
}

INSTANTIATE_TEST_SUITE_P(Algorithms, ExchangeTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test

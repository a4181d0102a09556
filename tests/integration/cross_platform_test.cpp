// A message signed and encrypted by one build opens in the other (Linux and Windows under
// Wine), with one test PKI. cross_platform.sh runs these with VORLAN_E2E_ROOT set (and
// VORLAN_E2E_PEER for the reading side); without them they are skipped.
#include <gtest/gtest.h>

#include "installation.h"
#include "platform/platform.h"

namespace vorlan::test {
namespace {

const std::string kMessage = "Cross-platform order 7: 250.00 RUB from USER01 to USER02";
const char* const kMessageFile = "message.bin";

class CrossPlatformTest : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        if (platform::GetEnv("VORLAN_E2E_ROOT").value_or("").empty()) GTEST_SKIP() << "run by cross_platform.sh";
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
    }
    static unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
    Installation* install_ = nullptr;
};

// USER01 signs (attached) and encrypts for USER02; the result goes to this side's root.
TEST_P(CrossPlatformTest, WritesSignedAndEncrypted) {
    EnginePtr sender = install_->Open("USER01");
    std::string buffer = kMessage;
    buffer.resize(kMessage.size() + static_cast<std::size_t>(GetMaxSignAddition(sender.get())) +
                  static_cast<std::size_t>(GetMaxEncodeAddition(sender.get())));
    auto size = static_cast<std::int32_t>(kMessage.size());
    ASSERT_EQ(AddSign(sender.get(), Bytes(buffer), &size, "USER01"), 0);
    ASSERT_EQ(EncodeData(sender.get(), Bytes(buffer), &size, "USER02"), 0);
    buffer.resize(static_cast<std::size_t>(size));
    ASSERT_TRUE(platform::WriteWholeFile(install_->Path(kMessageFile), buffer.data(), buffer.size()));
}

// USER02 decrypts the peer's message and finds USER01's valid signature on the text.
TEST_P(CrossPlatformTest, ReadsThePeersMessage) {
    const std::string file = install_->PeerPath(kMessageFile);
    if (file.empty()) GTEST_SKIP() << "no peer";
    auto message = platform::ReadWholeFile(file);
    ASSERT_TRUE(message) << file;
    EnginePtr receiver = install_->Open("USER02");
    std::string buffer = *message;
    auto size = static_cast<std::int32_t>(buffer.size());
    char scratch[64] = {};
    ASSERT_EQ(DecodeData(receiver.get(), Bytes(buffer), &size, scratch), 0);
    char uid[64] = {};
    ASSERT_EQ(RemoveSign(receiver.get(), Bytes(buffer), &size, uid), 0);
    EXPECT_STREQ(uid, "USER01");
    EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(size)), kMessage);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, CrossPlatformTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test

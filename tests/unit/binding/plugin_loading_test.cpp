// Loading and resolution of the plug-in per variant, completeness, and the serialisation
// decision taken from the plug-in's file version.
#include <thread>

#include "binding/binding_state.h"
#include "fake_fixture.h"
#include "support/thread_gate.h"

namespace vorlan::test {
namespace {

using PluginLoading = BindingTest;

TEST_F(PluginLoading, OneModuleServesEveryBindingOfAVariant) {
    REQUIRE_FAKE_VARIANT("complete");
    const auto module = PluginModule(1);
    TMProDLL second(1);
    TMProDLL third(1);
    EXPECT_TRUE(second.Loaded && second.Complete && third.Loaded && third.Complete);
    EXPECT_EQ(PluginModule(1), module);
    EXPECT_EQ(second.Fn.EncodeData, binding_->Fn.EncodeData);

    TMProDLL plain(0);
    TMProDLL second2(2);
    EXPECT_TRUE(plain.Loaded && plain.Complete && second2.Loaded && second2.Complete);
    EXPECT_NE(PluginModule(0), module);
    EXPECT_NE(PluginModule(2), module);
    EXPECT_NE(PluginModule(0), PluginModule(2));
}

TEST_F(PluginLoading, UnknownVariantLoadsNothingAndAnswersWithoutToolkit) {
    REQUIRE_FAKE_VARIANT("complete");
    const auto before0 = PluginModule(0);
    const auto before2 = PluginModule(2);
    TMProDLL other(3);
    EXPECT_FALSE(other.Loaded);
    EXPECT_FALSE(other.Complete);
    EXPECT_EQ(PluginModule(0), before0);
    EXPECT_EQ(PluginModule(2), before2);
    EXPECT_EQ(other.Fn.InitCrypto, nullptr);

    // An unusable binding gives the no-context results instead of calling through null.
    std::int32_t length = 3;
    unsigned char data[4] = {1, 2, 3, 0};
    EXPECT_EQ(other.EncodeData(Vector(), data, &length, "A"), -6);
    EXPECT_EQ(other.GetCryptoParamName(0, nullptr), -6);
    EXPECT_FALSE(other.CertificateAndRequestMatch(Vector(), "a", "b"));
    other.ClearCash();
}

TEST_F(PluginLoading, VerifyDataIgnoreTimeOnlyForVariantsAboveZero) {
    REQUIRE_FAKE_VARIANT("complete");
    TMProDLL plain(0);
    ASSERT_TRUE(plain.Complete);
    EXPECT_EQ(plain.Fn.VerifyDataIgnoreTime, nullptr);
    EXPECT_NE(plain.Fn.LoadCertificate, nullptr);
    std::int32_t length = 1;
    const unsigned char data[1] = {0};
    char signer[64] = {};
    FakeToolkit plainFake(PluginModule(0));
    plainFake.Reset();
    plainFake.SetResult("VerifyDataIgnoreTime", 7);
    EXPECT_EQ(plain.VerifyDataIgnoreTime(Vector(), data, &length, data, 1, signer), -1);
    EXPECT_EQ(plainFake.CallCount("VerifyDataIgnoreTime"), 0);

    fake_->SetResult("VerifyDataIgnoreTime", 7);
    EXPECT_EQ(binding_->VerifyDataIgnoreTime(Vector(), data, &length, data, 1, signer), 7);
    EXPECT_EQ(fake_->CallCount("VerifyDataIgnoreTime"), 1);
}

TEST_F(PluginLoading, MissingOptionalFunctionsKeepTheBindingComplete) {
    REQUIRE_FAKE_VARIANT("noopt");
    EXPECT_TRUE(binding_->Complete);
    EXPECT_EQ(binding_->Fn.GetCertInfoEx, nullptr);
    EXPECT_EQ(binding_->Fn.VerifyDataIgnoreTime, nullptr);
    std::int32_t length = 1;
    const unsigned char data[1] = {0};
    char signer[64] = {};
    EXPECT_EQ(binding_->VerifyDataIgnoreTime(Vector(), data, &length, data, 1, signer), -1);
    std::string text = "stale";
    EXPECT_EQ(binding_->GetCertInfoText(Vector(), data, 1, text), -1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(binding_->GetReqInfoText(Vector(), data, 1, text), -1);

    // Without LoadCertificate the cache is emptied instead.
    const auto v = Vector({{0, "K"}, {21, "60"}});
    EXPECT_EQ(binding_->EncodeData(v, nullptr, &length, "A"), 0);
    EXPECT_EQ(fake_->OpenContexts(), 1);
    EXPECT_EQ(binding_->LoadCertificate(v, data, 1), 0);
    EXPECT_EQ(fake_->OpenContexts(), 0);
}

TEST_F(PluginLoading, MissingFileLeavesBindingUnloaded) {
    REQUIRE_FAKE_VARIANT("noopt");  // this root holds only mplugf
    TMProDLL plain(0);
    EXPECT_FALSE(plain.Loaded);
    EXPECT_FALSE(plain.Complete);
    EXPECT_EQ(PluginModule(0), nullptr);
}

TEST_F(PluginLoading, MissingRequiredFunctionMakesBindingIncomplete) {
    REQUIRE_FAKE_VARIANT("nocrl");
    EXPECT_TRUE(binding_->Loaded);
    EXPECT_FALSE(binding_->Complete);
    EXPECT_EQ(binding_->Fn.GetCRLIssuerName, nullptr);
    EXPECT_NE(binding_->Fn.PSePrivateKeyBackup, nullptr);
    std::int32_t length = 0;
    EXPECT_EQ(binding_->EncodeData(Vector(), nullptr, &length, "A"), -6);
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 0);
}

// Two threads call EncodeData on one cached context; inside the toolkit each waits for the
// other (bounded), so they overlap exactly when the binding lets them.
std::int32_t ConcurrencyOf(TMProDLL& binding, FakeToolkit& fake) {
    const auto v = Vector({{0, "K"}, {21, "3600"}});
    std::int32_t length = 0;
    EXPECT_EQ(binding.EncodeData(v, nullptr, &length, "warm"), 0);
    fake.Reset();
    fake.SetRendezvous("EncodeData", 2, 500);
    ThreadGate start(2);
    auto work = [&] {
        std::int32_t n = 0;
        start.ArriveAndWait();
        binding.EncodeData(v, nullptr, &n, "A");
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(fake.CallCount("EncodeData"), 2);
    EXPECT_EQ(fake.CallCount("InitCrypto"), 0);
    return fake.MaxConcurrency();
}

TEST_F(PluginLoading, FileVersionAboveFirstReleaseLetsThreadsIn) {
    const std::string variant = FakeVariant();
    if (variant == "noopt" || variant == "nocrl") GTEST_SKIP();
    const bool reentrant = variant == "v1001" || variant == "v1100";
    EXPECT_EQ(PluginReentrant(), reentrant);
    EXPECT_EQ(ConcurrencyOf(*binding_, *fake_), reentrant ? 2 : 1);
}

TEST_F(PluginLoading, ThreadsSharingABindingOpenOneParamNameContext) {
    const std::string variant = FakeVariant();
    if (variant != "v1001" && variant != "v1100") GTEST_SKIP();
    fake_->SetRendezvous("InitCrypto", 2, 300);  // both threads would be inside at once
    ThreadGate start(2);
    auto work = [&] {
        char name[64];
        start.ArriveAndWait();
        EXPECT_EQ(binding_->GetCryptoParamName(1, name), 0);
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_EQ(fake_->CallCount("GetCryptoParamName"), 2);
}

TEST_F(PluginLoading, VariantZeroIsSerialisedWhateverItsVersion) {
    const std::string variant = FakeVariant();
    if (variant != "v1001" && variant != "complete") GTEST_SKIP();
    TMProDLL plain(0);
    ASSERT_TRUE(plain.Complete);
    FakeToolkit plainFake(PluginModule(0));
    plainFake.Reset();
    EXPECT_EQ(ConcurrencyOf(plain, plainFake), 1);
}

}  // namespace
}  // namespace vorlan::test

// The demonstration's steps against the built library and the real toolkit: they pass on a
// sound installation and report failures (rather than hide them) on a broken one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "captured_log.h"
#include "demo_installation.h"
#include "exchange_steps.h"
#include "export_api.h"
#include "export_check.h"
#include "pki/test_pki.h"
#include "platform/platform.h"

namespace vorlan::cli {
namespace {

std::string BinDir() {
    const char* dir = std::getenv("VORLAN_BIN_DIR");
    return dir != nullptr ? std::string(dir) + "/" : std::string();
}

// One library and one installation root for the whole process, as the library allows.
class DemoSteps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = std::make_unique<Library>(BinDir() + "libvorlan13.so");
        root_ = std::make_unique<TempRoot>(false);
    }
    static void TearDownTestSuite() {
        root_.reset();
        library_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(library_->Loaded()) << "VORLAN_BIN_DIR must name the directory of libvorlan13.so";
        std::vector<std::string> missing;
        ASSERT_TRUE(api_.Resolve(*library_, missing)) << missing.front();
        ASSERT_NE(out_, nullptr);
    }
    // Built: the installation with its certificates filed by USER01's engine.
    std::unique_ptr<DemoInstallation> Built(DemoAlgorithm algorithm, StepLog& log) {
        auto installation = std::make_unique<DemoInstallation>(api_, root_->Path(), algorithm);
        EXPECT_TRUE(installation->WritePKI(log));
        const Engine user01 = installation->Open("USER01", log);
        EXPECT_NE(user01.get(), nullptr);
        EXPECT_TRUE(installation->FileCertificates(user01, log));
        return installation;
    }

    static std::unique_ptr<Library> library_;
    static std::unique_ptr<TempRoot> root_;
    ExportApi api_;
    CapturedFile out_{std::tmpfile()};
};

std::unique_ptr<Library> DemoSteps::library_;
std::unique_ptr<TempRoot> DemoSteps::root_;

TEST_F(DemoSteps, ExchangePassesOnASoundInstallation) {
    if (!test::TestPKI::Available(test::Algorithm::Gost)) GTEST_SKIP() << "OpenSSL's GOST engine is not installed";
    StepLog log(out_.get());
    auto installation = Built(DemoAlgorithm::Gost, log);
    const Engine user01 = installation->Open("USER01", log);
    EXPECT_TRUE(RunExchange(api_, *installation, user01, log));
    EXPECT_EQ(log.Failures(), 0);
    EXPECT_GE(log.Steps(), 15);
    EXPECT_EQ(log.ExitCode(), 0);
}

TEST_F(DemoSteps, WrongKeyFailsTheRun) {
    StepLog log(out_.get());
    auto installation = Built(DemoAlgorithm::Rsa, log);
    ASSERT_EQ(log.Failures(), 0);
    // USER02 holds USER03's key: what is encrypted for USER02 cannot be read with it.
    const auto key = platform::ReadWholeFile(root_->Path() + "RSA\\USER03\\key.pem");
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(platform::WriteWholeFile(root_->Path() + "RSA\\USER02\\key.pem", key->data(), key->size()));
    const Engine user01 = installation->Open("USER01", log);
    EXPECT_FALSE(RunExchange(api_, *installation, user01, log));
    EXPECT_GE(log.Failures(), 1);
    EXPECT_EQ(log.ExitCode(), 1);
    EXPECT_NE(Written(out_.get()).find("  FAIL  USER02 decrypts"), std::string::npos) << Written(out_.get());
}

TEST_F(DemoSteps, FilingFailsWithoutCertificates) {
    StepLog log(out_.get());
    // An installation whose users were never written: its engine still sets up (paths are
    // only text), but filing certificates that do not exist fails.
    DemoInstallation empty(api_, root_->Path() + "EMPTY\\", DemoAlgorithm::Rsa);
    const Engine user01 = empty.Open("USER01", log);
    ASSERT_NE(user01.get(), nullptr);
    EXPECT_FALSE(empty.FileCertificates(user01, log));
    EXPECT_EQ(log.ExitCode(), 1);
}

TEST_F(DemoSteps, ErrorTextsOfTheLibrary) {
    const Engine engine(api_, api_.GetCryptObj(0));
    ASSERT_NE(engine.get(), nullptr);
    EXPECT_NE(api_.ErrorText(engine.get(), -113), "");
    EXPECT_NE(api_.ErrorText(engine.get(), -113), api_.ErrorText(engine.get(), -120));
    EXPECT_EQ(api_.ErrorText(nullptr, -113), "") << "a null handle has no texts";
}

TEST(DemoExports, ALibraryWithoutTheExportsIsRefused) {
    Library plugin(BinDir() + "mplugf.so");
    ASSERT_TRUE(plugin.Loaded());
    ExportApi api;
    std::vector<std::string> missing;
    EXPECT_FALSE(api.Resolve(plugin, missing));
    EXPECT_EQ(missing.front(), "GetCryptObj");

    CapturedFile out(std::tmpfile());
    StepLog log(out.get());
    EXPECT_FALSE(CheckExports(plugin, log));
    EXPECT_EQ(log.Failures(), 1);
}

}  // namespace
}  // namespace vorlan::cli

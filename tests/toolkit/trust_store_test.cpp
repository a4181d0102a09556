// The trust store that contexts share and the recipients it vouched for: what it remembers
// never outlives a change of the CA certificates or CRLs, nor a certificate's validity.
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "harness.h"
#include "pki/openssl_ca.h"

namespace tkt {
namespace {

namespace fs = std::filesystem;

class TrustStoreTest : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        pki_ = std::make_unique<PkiLayout>(TempDir(GetParam() == Algo::Gost ? "trust_gost" : "trust_rsa"), GetParam());
        ca_ = std::make_unique<vorlan::test::OpensslCA>(pki_->Root() + "/cli", GetParam());
        ca_->UseRoot(pki_->CaCertFile(), pki_->CaKeyFile());
        Settle();
    }
    // Settle: every file and directory of the installation dated an hour back, as files are
    // that nobody touched lately (the toolkit reads recently changed files every time).
    void Settle() {
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const auto& entry : fs::recursive_directory_iterator(pki_->Root())) fs::last_write_time(entry.path(), past);
    }
    mpro::Context OpenUser(const std::string& user) {
        return OpenWith({{0, pki_->CertFile(user)}, {1, pki_->CertDir()}, {3, Cipher()}, {4, SigAlg()},
                         {6, pki_->KeyFile(user)}, {24, pki_->CaDir()}, {25, pki_->CrlDir()}});
    }
    // EncryptFor: the code of encrypting a few bytes for a subject line.
    std::int32_t EncryptFor(mpro::Context ctx, const std::string& subject) {
        std::vector<unsigned char> buf(16 + static_cast<std::size_t>(Tk().GetMaxEncodeAddition()));
        std::int32_t len = 16;
        return Tk().EncodeData(ctx, buf.data(), &len, subject.c_str());
    }

    std::unique_ptr<PkiLayout> pki_;
    std::unique_ptr<vorlan::test::OpensslCA> ca_;
};

// A recipient checked before is refused by the very next call, on the context that checked it
// and on a new one, once a CRL revokes it or its CA certificate is gone; and accepted again
// when the change is taken back.
TEST_P(TrustStoreTest, ChangesOfCaCertificatesAndCrlsAreSeenByTheNextCall) {
    const std::string crl = pki_->CrlDir() + "/crl1.pem";
    const std::string ca = pki_->CaCertFile(), away = pki_->Root() + "/ca1.pem.away";
    const std::string listed = ReadAll(crl);
    struct Case {
        const char* what;
        std::function<void()> change, undo;
        std::int32_t refused;
    };
    const Case cases[] = {
        {"CRL rewritten in place",
         [&] {
             ca_->Revoke(std::stol(pki_->Serial("USER02"), nullptr, 16));
             ASSERT_TRUE(ca_->WriteCRL(crl));
         },
         [&] { std::ofstream(crl, std::ios::binary | std::ios::trunc) << listed; }, -1032},
        {"CA certificate taken away", [&] { fs::rename(ca, away); }, [&] { fs::rename(away, ca); }, -1033},
    };
    const mpro::Context sender = OpenUser("USER01");
    const std::string to = pki_->SubjectLine("USER02");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(EncryptFor(sender, to), 0) << LastError();
        ASSERT_EQ(EncryptFor(sender, to), 0) << LastError();
        c.change();
        EXPECT_EQ(EncryptFor(sender, to), c.refused) << LastError();
        Settle();  // a change an hour old by its stamps is seen all the same
        EXPECT_EQ(EncryptFor(sender, to), c.refused) << LastError();
        EXPECT_EQ(EncryptFor(OpenUser("USER03"), to), c.refused) << LastError();
        c.undo();
        Settle();
        EXPECT_EQ(EncryptFor(sender, to), 0) << LastError();
    }
}

// A recipient's certificate that runs out while the context and the store stay as they were is
// refused as expired from its last second on.
TEST_P(TrustStoreTest, RecipientWhoseCertificateRunsOutIsRefusedThen) {
    const std::time_t end = std::time(nullptr) + 3;
    char endText[32];
    std::strftime(endText, sizeof endText, "%Y%m%d%H%M%SZ", std::gmtime(&end));
    const std::string cert = pki_->CertDir() + "/SHORT.pem";
    ASSERT_TRUE(ca_->Issue("/C=RU/O=TESTBANK/CN=SHORT", cert, pki_->Root() + "/short.key", "20200101000000Z", endText));
    Settle();
    const mpro::Context sender = OpenUser("USER01");
    const std::string to = "/C=RU/O=TESTBANK/CN=SHORT";
    ASSERT_EQ(EncryptFor(sender, to), 0) << LastError();
    while (std::time(nullptr) < end - 1) {
        ASSERT_EQ(EncryptFor(sender, to), 0) << LastError();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    while (std::time(nullptr) <= end) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(EncryptFor(sender, to), -1030) << LastError();
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TrustStoreTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt

// The certificate directory (inclusion with numbered backups, removal), the toolkit's
// certificate cache and the installation of CRLs.
#include <filesystem>

#include "engine_fixture.h"
#include "platform/ansi_text.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class CertStoreTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        // The toolkit's cache lives in a context that outlasts the call: open one.
        ASSERT_EQ(engine_->SetCryptoParamValue(22, "60"), 0);
        char uid[40];
        ASSERT_EQ(engine_->GetCurrentUserUID(uid), 0);
    }
    std::int32_t Include(const std::string& content) {
        WriteFile("new.pem", content);
        return engine_->IncludePublicKey(Path("new.pem").c_str());
    }
};

TEST_F(CertStoreTest, IncludeMovesTheCertificateInAndNumbersTheBackup) {
    WriteFile("certs\\USER01.pem", "old");
    WriteFile("certs\\USER01.001", "older");
    EXPECT_EQ(Include("new certificate"), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "new certificate");
    EXPECT_EQ(ReadFile("certs\\USER01.002"), "old");
    EXPECT_EQ(ReadFile("certs\\USER01.001"), "older");
    EXPECT_FALSE(Exists("new.pem")) << "the source is moved";
    const auto loads = Fake().Calls("LoadCertificate");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(Field(loads[0], 2), "15");

    EXPECT_EQ(Include("third"), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.003"), "new certificate");
}

TEST_F(CertStoreTest, IncludeIntoAnEmptyPlaceAndFailures) {
    WriteFile("certs\\USER01.pem", "old");
    EXPECT_EQ(Include("new"), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.001"), "old");
    EXPECT_EQ(engine_->IncludePublicKey(Path("missing.pem").c_str()), -111);

    // Both names present: each gets a backup number of its own, and UID.pem is current.
    WriteFile("certs\\USER01.cer", "cer");
    EXPECT_EQ(Include("newest"), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "newest");
    EXPECT_EQ(ReadFile("certs\\USER01.002"), "new");
    EXPECT_EQ(ReadFile("certs\\USER01.003"), "cer");
    EXPECT_FALSE(Exists("certs\\USER01.cer"));
    EXPECT_EQ(Fake().CallCount("LoadCertificate"), 2);
}

TEST_F(CertStoreTest, IncludeRefusesAUIDThatWouldLeaveTheDirectory) {
    for (const char* subject : {"/CN=..\\..\\evil", "/CN=..", "/CN=", "/CN=NUL", "/CN=x:y"}) {
        Fake().SetText("GetCurrentUID", subject);
        EXPECT_EQ(Include("payload"), -110) << subject;
        EXPECT_TRUE(Exists("new.pem")) << subject;
    }
    EXPECT_EQ(Fake().CallCount("LoadCertificate"), 0);
}

TEST_F(CertStoreTest, UpdateCertificateCashAsksTheToolkitFirst) {
    WriteFile("certs\\USER01.pem", "cert");
    EXPECT_EQ(engine_->UpdateCertificateCash("USER01"), 0);
    EXPECT_EQ(Fake().CallCount("LoadCertificate"), 0) << "the toolkit knew it";
    Fake().SetResult("GetCertificateByUID", 1);
    EXPECT_EQ(engine_->UpdateCertificateCash("USER01"), 0);
    EXPECT_EQ(Fake().CallCount("LoadCertificate"), 1);
    EXPECT_EQ(engine_->UpdateCertificateCash(""), -101);
    EXPECT_EQ(engine_->UpdateCertificateCash("USER02"), -113);
    UseUIDField("SN");
    EXPECT_EQ(engine_->UpdateCertificateCash("0A0B"), -111);
    EXPECT_EQ(engine_->UpdateCertificateCash("..\\x"), -110);
}

TEST_F(CertStoreTest, RemoveCertificateKeepsTheOwnOneAndTheBackups) {
    for (const char* name : {"USER01.pem", "USER02.pem", "USER02.cer", "USER02.001"}) WriteFile(std::string("certs\\") + name, "x");
    EXPECT_EQ(engine_->RemoveCertificate("USER01"), -120);
    EXPECT_EQ(engine_->RemoveCertificate("user01"), -120) << "file names match without regard to case";
    EXPECT_TRUE(Exists("certs\\USER01.pem"));
    EXPECT_EQ(engine_->RemoveCertificate("USER02"), 0);
    EXPECT_FALSE(Exists("certs\\USER02.pem"));
    EXPECT_FALSE(Exists("certs\\USER02.cer"));
    EXPECT_TRUE(Exists("certs\\USER02.001"));
    EXPECT_EQ(engine_->RemoveCertificate("USER03"), 0);
    EXPECT_EQ(engine_->RemoveCertificate("..\\certs\\USER01"), -110);
    EXPECT_EQ(engine_->RemoveCertificate(nullptr), -101);
    // The own UID with its letters beyond a-z (here Cyrillic) in another case too.
    Fake().SetText("GetCurrentUID", ("/CN=" + platform::CharsToAnsi(U"ИВАН")).c_str());
    EXPECT_EQ(engine_->RemoveCertificate(platform::CharsToAnsi(U"иван").c_str()), -120);
    Fake().SetResult("GetCurrentUID", -1040);
    EXPECT_EQ(engine_->RemoveCertificate("USER02"), -1040);
}

TEST_F(CertStoreTest, CRLDirectoryComesFromItsParameterOrTheKeyDirectory) {
    ASSERT_EQ(engine_->SetCryptoParamValue(3, "D:\\Keys"), 0);
    EXPECT_EQ(engine_->GetCRLDir(), "D:\\Keys\\CRL\\");
    EXPECT_EQ(engine_->GetCADir(), "D:\\Keys\\CA\\");
    ASSERT_EQ(engine_->SetCryptoParamValue(26, " E:\\Lists "), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(25, "E:\\CA\\"), 0);
    EXPECT_EQ(engine_->GetCRLDir(), "E:\\Lists\\");
    EXPECT_EQ(engine_->GetCADir(), "E:\\CA\\");
    Fake().SetResult("GetCryptoParamNumber", 25);
    EXPECT_EQ(engine_->GetCRLDir(), "D:\\Keys\\CRL\\") << "a parameter the toolkit lacks counts as empty";
}

// Without a key directory the toolkit reads no CA or CRL directory: IncludeCRL neither files
// a list the toolkit never checks nor creates CRL\ in the working directory.
TEST_F(CertStoreTest, NoKeyDirectoryMeansNoCRLDirectory) {
    const auto workingDir = std::filesystem::current_path();
    std::filesystem::current_path(platform::NativePath(root_));
    WriteFile("new.crl", "new list");
    EXPECT_EQ(engine_->GetCADir() + engine_->GetCRLDir(), "");
    EXPECT_EQ(engine_->IncludeCRL(Path("new.crl").c_str()), -123);
    std::filesystem::current_path(workingDir);
    EXPECT_FALSE(IsDirectory(Path("CRL")));
}

class CRLTest : public CertStoreTest {
protected:
    void SetUp() override {
        CertStoreTest::SetUp();
        ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
        WriteFile("new.crl", "new list");
    }
    std::int32_t IncludeNew() { return engine_->IncludeCRL(Path("new.crl").c_str()); }
};

TEST_F(CRLTest, MissingOrUnreadableCRL) {
    EXPECT_EQ(engine_->IncludeCRL(Path("absent.crl").c_str()), -124);
    EXPECT_EQ(IncludeNew(), -125) << "the toolkit names no issuer";
    EXPECT_TRUE(Exists("new.crl"));
    EXPECT_TRUE(IsDirectory(Path("CRL"))) << "the CRL directory is created";
}

// A list the toolkit refuses (no issuer, a code of its own) is refused with that code; an
// issuer counts whatever the answer, as older toolkits' answers are no codes.
TEST_F(CRLTest, TheToolkitsRefusalIsTheResult) {
    for (const auto& [issuer, answer, expected] : {std::tuple{"", -1041, -1041}, {"", 7, -125}, {"/CN=CA", 7, 0}}) {
        Fake().SetText("GetCRLIssuerName", issuer);
        Fake().SetResult("GetCRLIssuerName", answer);
        WriteFile("new.crl", "new list");
        EXPECT_EQ(IncludeNew(), expected) << answer;
    }
}

// A replaced list that cannot be deleted leaves the directory the toolkit reads whole; the
// new list is installed, reported so, and the toolkit's contexts are renewed.
TEST_F(CRLTest, AnUndeletableOldListIsParkedOutOfTheToolkitsSight) {
    Fake().SetText("GetCRLIssuerName", "/CN=Test CA");
    ASSERT_TRUE(CreateDirectoryPath(Path("CRL")));
    WriteFile("CRL\\crl4.pem", "old list");
    ASSERT_TRUE(platform::SetAttributes(Path("CRL\\crl4.pem"), platform::kAttrReadOnly));
    const std::int32_t closed = Fake().CallCount("DoneCrypto");
    EXPECT_EQ(IncludeNew(), 0);
    EXPECT_EQ(platform::Enumerate(Path("CRL\\*.pem")).size(), 1u);
    EXPECT_EQ(ReadFile("CRL\\crl1.pem"), "new list");
    EXPECT_EQ(ReadFile("CRL\\replaced\\crl4.pem"), "old list");
    EXPECT_GT(Fake().CallCount("DoneCrypto"), closed) << "the cache is cleared";
}

TEST_F(CRLTest, AFailedMoveKeepsTheOldList) {
    Fake().SetText("GetCRLIssuerName", "/CN=Test CA");
    ASSERT_TRUE(CreateDirectoryPath(Path("CRL\\crl1.pem")));  // blocks the new list's name
    WriteFile("CRL\\crl4.pem", "old list");
    EXPECT_EQ(IncludeNew(), -107);
    EXPECT_EQ(ReadFile("CRL\\crl4.pem"), "old list");
    EXPECT_TRUE(Exists("new.crl"));
}

}  // namespace
}  // namespace vorlan::test

// Trust end to end, in GOST and RSA, with certificates made by the openssl command line as an
// outside CA makes them: subject values never pose as another user, mail goes to the current
// certificate of a UID, and dead or foreign recipients are refused with a reason.
#include <cstring>
#include <utility>

#include "exchange_fixture.h"
#include "pki/openssl_ca.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class TrustTest : public ExchangeTest {
protected:
    // Identity: NAME\own.pem and NAME\key.pem from openssl, issued by the installation's CA
    // (dates as OpensslCA::Issue) or self-signed; returns the certificate's path.
    std::string Identity(const std::string& name, const std::string& subject, const std::string& start = "",
                         const std::string& end = "", bool selfSigned = false) {
        OpensslCA ca(install_->Native("staging"), install_->algorithm());
        ca.UseRoot(install_->Native("CA\\ca.pem"), install_->Native("ca.key"));
        EXPECT_TRUE(CreateDirectoryPath(install_->Path(name)));
        const std::string cert = install_->Native(name + "\\own.pem"), key = install_->Native(name + "\\key.pem");
        EXPECT_TRUE(selfSigned ? ca.SelfSigned(subject, cert, key) : ca.Issue(subject, cert, key, start, end))
            << subject;
        return install_->Path(name + "\\own.pem");
    }
    // Include: IncludePublicKey of a copy of a certificate (the export moves its source).
    std::int32_t Include(const std::string& name, const std::string& cert) {
        const std::string staged = install_->Path("staging\\" + name + ".pem");
        EXPECT_TRUE(CopyFileWhole(cert, staged));
        return IncludePublicKey(install_->Open("USER01").get(), staged.c_str());
    }
    // Exchange: USER01 encrypts message_ for uid; the code, and that of the engine opening it.
    std::pair<std::int32_t, std::int32_t> Exchange(const std::string& uid, const std::string& receiver) {
        EnginePtr sender = install_->Open("USER01");
        std::string buffer = message_ + std::string(static_cast<std::size_t>(GetMaxEncodeAddition(sender.get())), '\0');
        std::int32_t size = Size(message_);
        const std::int32_t sealed = EncodeData(sender.get(), Bytes(buffer), &size, uid.c_str());
        if (sealed != 0) return {sealed, 0};
        char scratch[64];
        return {0, DecodeData(install_->Open(receiver).get(), Bytes(buffer), &size, scratch)};
    }
};

// Values holding "/", ";" or the escape character name their own user, never USER01; a
// UID that is no file name is not filed.
TEST_P(TrustTest, SubjectValuesNeverNameAnotherUser) {
    struct Case {
        const char* dir;
        const char* subject;
        const char* uid;
        std::int32_t filed;
    };
    for (const Case& c : {Case{"FORGED1", "/C=RU/O=X\\/CN=USER01/CN=MALLORY1", "MALLORY1", 0},
                          Case{"FORGED2", "/OU=X\\/CN=USER01/CN=MALLORY2", "MALLORY2", 0},
                          Case{"FORGED3", "/L=X\\/CN=USER01/CN=MALLORY3", "MALLORY3", 0},
                          Case{"FORGED4", "/C=RU/CN=MALLORY4\\/CN=USER01", "MALLORY4/CN=USER01", -110},
                          Case{"SEMI", "/C=RU/O=Semi;colon/CN=SEMI", "SEMI", 0},
                          Case{"BACKSL", "/O=Back\\\\slash\\/x/CN=BACKSL", "BACKSL", 0}}) {
        SCOPED_TRACE(c.subject);
        const std::string cert = Identity(c.dir, c.subject);
        EnginePtr who = install_->Open(c.dir);
        EnginePtr checker = install_->Open("USER02");
        char uid[40] = {};
        EXPECT_EQ(GetCurrentUserUID(who.get(), uid), 0);
        EXPECT_STREQ(uid, c.uid);
        const std::string signature = Sign(who.get(), message_);
        for (auto verify : {&VerifyData, &VerifySignWOCheckValidity}) {
            std::memset(uid, 0, sizeof uid);
            EXPECT_EQ(verify(checker.get(), Bytes(message_), Size(message_), Bytes(signature), Size(signature), uid), 0);
            EXPECT_STREQ(uid, c.uid);
        }
        std::string attached = message_ + std::string(static_cast<std::size_t>(GetMaxSignAddition(who.get())), '\0');
        std::int32_t size = Size(message_);
        ASSERT_EQ(AddSign(who.get(), Bytes(attached), &size, nullptr), 0);
        std::memset(uid, 0, sizeof uid);
        EXPECT_EQ(RemoveSign(checker.get(), Bytes(attached), &size, uid), 0);
        EXPECT_STREQ(uid, c.uid);
        ASSERT_EQ(Include(c.dir, cert), c.filed);
        if (c.filed == 0) {
            EXPECT_EQ(Exchange(c.uid, c.dir), std::make_pair(0, 0));
        }
    }
}

// No correspondent replaces the copy of the own certificate under the user's UID (in any case
// of its letters), by transfer or by file, not even with a certificate of the installation's
// CA; the own certificate itself may be filed again.
TEST_P(TrustTest, NoCorrespondentReplacesTheOwnCertificate) {
    EnginePtr user = install_->Open("USER01"), peer = install_->Open("USER02");
    const std::string filed = install_->Path("certs\\USER01.pem");
    const std::string own = platform::ReadWholeFile(filed).value_or("");
    for (const auto& [dir, subject] : {std::pair{"OWN_SAME", "/C=RU/CN=USER01"}, std::pair{"OWN_CASE", "/C=RU/CN=user01"}}) {
        const std::string forged = Identity(dir, subject);
        std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(peer.get())) + 1, '\0');
        ASSERT_EQ(GetPublicKeyTransferByFile(peer.get(), transfer.data(), forged.c_str()), 0);
        EXPECT_EQ(IncludePublicKeyTransfer(user.get(), transfer.c_str()), -120) << subject;
        EXPECT_EQ(Include(dir, forged), -120) << subject;
        EXPECT_EQ(platform::ReadWholeFile(filed).value_or(""), own) << subject;
    }
    EXPECT_EQ(Include("OWN_AGAIN", install_->Path("USER01\\own.pem")), 0);
    EXPECT_EQ(platform::ReadWholeFile(filed).value_or(""), own);
}

// An old UID.cer beside the current UID.pem: mail goes to the current key only.
TEST_P(TrustTest, MailGoesToTheCurrentCertificate) {
    ASSERT_TRUE(CopyFileWhole(Identity("RENEWED_OLD", "/C=RU/CN=RENEWED"), install_->Path("certs\\RENEWED.cer")));
    ASSERT_TRUE(CopyFileWhole(Identity("RENEWED", "/C=RU/CN=RENEWED"), install_->Path("certs\\RENEWED.pem")));
    EXPECT_EQ(Exchange("RENEWED", "RENEWED"), std::make_pair(0, 0));
    EXPECT_NE(Exchange("RENEWED", "RENEWED_OLD").second, 0);
}

// A correspondent's certificate replaces the one filed under its UID only as its successor:
// issued by an installed CA and valid now, of the same subject and issuer, never older. Sent
// by a trusted correspondent, anything else is refused and the filed certificate stays.
TEST_P(TrustTest, OnlyASuccessorReplacesAFiledCertificate) {
    EnginePtr office = install_->Open("USER02"), user = install_->Open("USER01");
    auto send = [&](const std::string& certificate) {
        std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(office.get())) + 1, '\0');
        EXPECT_EQ(GetPublicKeyTransferByFile(office.get(), transfer.data(), certificate.c_str()), 0);
        return IncludePublicKeyTransfer(user.get(), transfer.c_str());
    };
    const std::string first = Identity("PARTNER1", "/C=RU/O=Partner LLC/CN=PARTNER", "20240101000000Z", "20990101000000Z");
    const std::string renewed = Identity("PARTNER2", "/C=RU/O=Partner LLC/CN=PARTNER");
    ASSERT_EQ(send(first), 0);
    const std::pair<std::string, std::int32_t> cases[] = {
        {renewed, 0},
        {first, -135},
        {Identity("PARTNER3", "/C=RU/O=Mallory Ltd/CN=PARTNER"), -136},
        {Identity("PARTNER4", "/C=RU/O=Partner LLC/CN=PARTNER", "", "", true), -1033},
        {Identity("PARTNER5", "/C=RU/O=Partner LLC/CN=PARTNER", "20990101000000Z", "21000101000000Z"), -1031},
    };
    for (const auto& [certificate, code] : cases) {
        EXPECT_EQ(send(certificate), code) << certificate;
        EXPECT_EQ(platform::ReadWholeFile(install_->Path("certs\\PARTNER.pem")), platform::ReadWholeFile(renewed)) << certificate;
    }
}

// Expired, not yet valid, revoked and self-signed recipients are refused, each with its own
// code and a message that names the recipient and the reason. The library files neither of
// the last two; an installation may hold them from before.
TEST_P(TrustTest, DeadOrForeignRecipientsAreRefused) {
    const std::string later = Identity("LATER", "/C=RU/CN=LATER", "20990101000000Z", "21000101000000Z");
    const std::string stranger = Identity("STRANGER", "/C=RU/CN=STRANGER", "", "", true);
    EXPECT_EQ(Include("LATER", later), -1031);
    EXPECT_EQ(Include("STRANGER", stranger), -1033);
    ASSERT_TRUE(CopyFileWhole(later, install_->Path("certs\\LATER.pem")));
    ASSERT_TRUE(CopyFileWhole(stranger, install_->Path("certs\\STRANGER.pem")));
    struct Case {
        const char* uid;
        std::int32_t code;
        const char* reason;
    };
    EnginePtr sender = install_->Open("USER01");
    for (const Case& c : {Case{"EXPIRED", -1030, "expired"}, Case{"LATER", -1031, "not yet valid"},
                          Case{"REVOKED", -1032, "revoked"}, Case{"STRANGER", -1033, "self"}}) {
        std::string buffer = message_ + std::string(static_cast<std::size_t>(GetMaxEncodeAddition(sender.get())), '\0');
        std::int32_t size = Size(message_);
        EXPECT_EQ(EncodeData(sender.get(), Bytes(buffer), &size, c.uid), c.code) << c.uid;
        EXPECT_EQ(size, Size(message_));
        std::string text(static_cast<std::size_t>(GetMaxErrorStringLength(sender.get())), '\0');
        GetLastErrorMessage(sender.get(), text.data());
        EXPECT_NE(text.find(std::string("CN=") + c.uid), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TrustTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test

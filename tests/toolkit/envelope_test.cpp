// Encryption for recipients and decryption with the own key.
#include <cstring>
#include <filesystem>

#include "harness.h"
#include "pki/openssl_ca.h"

namespace tkt {
namespace {

class EnvelopeTest : public ToolkitTest {
protected:
    // Encrypt: the envelope of text for a recipient list, in a buffer sized by the promise.
    std::vector<unsigned char> Encrypt(mpro::Context ctx, const std::string& text, const std::string& subjects, int recipients,
                                       std::int32_t* code = nullptr) {
        std::vector<unsigned char> buf(text.size() + static_cast<std::size_t>(Tk().GetMaxEncodeAddition() * recipients));
        std::memcpy(buf.data(), text.data(), text.size());
        std::int32_t len = static_cast<std::int32_t>(text.size());
        std::int32_t rc = Tk().EncodeData(ctx, buf.data(), &len, subjects.c_str());
        if (code != nullptr) *code = rc;
        else EXPECT_EQ(rc, 0) << LastError();
        buf.resize(rc == 0 ? static_cast<std::size_t>(len) : 0);
        return buf;
    }
    // Decrypt: the plain text of an envelope for a user, or the code on failure.
    std::int32_t Decrypt(mpro::Context ctx, std::vector<unsigned char> env, std::string* plain, std::string* who = nullptr) {
        std::int32_t len = static_cast<std::int32_t>(env.size());
        std::string subject(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        std::int32_t rc = Tk().DecodeData(ctx, env.data(), &len, subject.data());
        if (rc == 0) plain->assign(reinterpret_cast<char*>(env.data()), static_cast<std::size_t>(len));
        if (who != nullptr) *who = subject.c_str();
        return rc;
    }
};

TEST_P(EnvelopeTest, TwoRecipientsEachDecrypt) {
    mpro::Context sender = Open("USER03");
    std::string text = "payment order 42";
    std::string list = Pki().SubjectLine("USER01") + ";" + Pki().SubjectLine("USER02");
    auto env = Encrypt(sender, text, list, 2);
    ASSERT_FALSE(env.empty());
    EXPECT_EQ(std::string(env.begin(), env.end()).find(text), std::string::npos) << "plain text visible in the envelope";
    for (const char* user : {"USER01", "USER02"}) {
        std::string plain, who;
        EXPECT_EQ(Decrypt(Open(user), env, &plain, &who), 0) << user << ": " << LastError();
        EXPECT_EQ(plain, text) << user;
        EXPECT_EQ(who, Pki().SubjectLine(user));
    }
}

TEST_P(EnvelopeTest, WrongRecipientFailsCleanly) {
    auto env = Encrypt(Open("USER01"), "secret", Pki().SubjectLine("USER02"), 1);
    std::string plain;
    std::int32_t rc = Decrypt(Open("USER03"), env, &plain);
    EXPECT_LE(rc, -1000);
    EXPECT_TRUE(plain.empty());
    std::string message = LastError();
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find("PRIVATE KEY"), std::string::npos);
    std::string text(1024, '\0');
    EXPECT_EQ(Tk().GetCryptoErrorString(rc, text.data()), 0);
    EXPECT_FALSE(std::string(text.c_str()).empty());
}

TEST_P(EnvelopeTest, DamagedEnvelopeGivesErrorNotGarbage) {
    auto env = Encrypt(Open("USER01"), std::string(200, 'x'), "", 1);
    env[env.size() - 20] ^= 0x5A;  // inside the encrypted content
    std::string plain;
    std::int32_t rc = Decrypt(Open("USER01"), env, &plain);
    if (rc == 0) EXPECT_NE(plain, std::string(200, 'x'));
    else EXPECT_LE(rc, -1000);
    std::vector<unsigned char> junk(100, 0x30);
    EXPECT_LE(Decrypt(Open("USER01"), junk, &plain), -1000);
}

// A message whose last block does not decrypt (triple DES checks its padding there) is refused
// and leaves the envelope in the buffer, not the part of the plain text decrypted before.
TEST_P(EnvelopeTest, RefusedDecryptionLeavesTheEnvelope) {
    if (GetParam() != Algo::Rsa) GTEST_SKIP() << "GOST 28147-89 has no padding to check";
    auto env = Encrypt(Open("USER01"), std::string(4000, 'x'), "", 1);
    ASSERT_GT(env.size(), 9u);
    env[env.size() - 9] ^= 0x5A;  // the content ends the envelope: this flips the padding length
    std::vector<unsigned char> buf = env;
    std::int32_t len = static_cast<std::int32_t>(buf.size());
    std::string subject(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
    EXPECT_LE(Tk().DecodeData(Open("USER01"), buf.data(), &len, subject.data()), -1000);
    EXPECT_EQ(len, static_cast<std::int32_t>(env.size()));
    EXPECT_TRUE(buf == env) << "the buffer holds something other than the envelope";
}

TEST_P(EnvelopeTest, EmptyListEncryptsForOwnCertificate) {
    mpro::Context own = Open("USER02");
    auto env = Encrypt(own, "to myself", "", 1);
    std::string plain;
    EXPECT_EQ(Decrypt(own, env, &plain), 0) << LastError();
    EXPECT_EQ(plain, "to myself");
}

TEST_P(EnvelopeTest, UnknownRecipientIsAnErrorAndLeavesBuffer) {
    std::int32_t code = 0;
    std::vector<unsigned char> buf(5000);
    std::memcpy(buf.data(), "hello", 5);
    std::int32_t len = 5;
    code = Tk().EncodeData(Open("USER01"), buf.data(), &len, "/C=RU/CN=NOBODY");
    EXPECT_LE(code, -1000);
    EXPECT_EQ(len, 5);
    EXPECT_EQ(std::memcmp(buf.data(), "hello", 5), 0);
    EXPECT_NE(LastError().find("NOBODY"), std::string::npos);
}

TEST_P(EnvelopeTest, SerialNumbersNameRecipientsWithSnField) {
    mpro::Context sender = Open("USER01", {{19, "SN"}});
    auto env = Encrypt(sender, "by serial", Pki().Serial("USER02"), 1);
    std::string plain, who;
    EXPECT_EQ(Decrypt(Open("USER02", {{19, "SN"}}), env, &plain, &who), 0) << LastError();
    EXPECT_EQ(plain, "by serial");
    EXPECT_EQ(who, Pki().Serial("USER02"));
}

TEST_P(EnvelopeTest, LargeDataStaysWithinPromise) {
    std::string text(1 << 20, 'a');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    mpro::Context ctx = Open("USER01");
    std::string list = Pki().SubjectLine("USER01") + ";" + Pki().SubjectLine("USER02") + ";" + Pki().SubjectLine("USER03");
    auto env = Encrypt(ctx, text, list, 3);
    ASSERT_FALSE(env.empty());
    EXPECT_LE(env.size(), text.size() + 3u * static_cast<std::size_t>(Tk().GetMaxEncodeAddition()));
    std::string plain;
    EXPECT_EQ(Decrypt(ctx, env, &plain), 0);
    EXPECT_EQ(plain, text);
}

TEST_P(EnvelopeTest, UnknownCipherIsAClearError) {
    std::int32_t code = 0;
    Encrypt(Open("USER01", {{3, "ROT13"}}), "x", "", 1, &code);
    EXPECT_EQ(code, -1004);
    EXPECT_NE(LastError().find("ROT13"), std::string::npos);
}

// Several files of one subject, none named by its UID: the one valid now with the latest
// start of validity receives the mail (certificates from the openssl command line).
TEST_P(EnvelopeTest, RecipientIsTheCertificateInUse) {
    const std::string dir = TempDir("choice");
    std::filesystem::create_directories(dir + "/certs");
    vorlan::test::OpensslCA ca(dir, GetParam());
    ca.UseRoot(Pki().CaCertFile(), Pki().CaKeyFile());
    for (const char* name : {"a", "b", "c"}) {
        const std::string start = name[0] == 'a' ? "20200101000000Z" : name[0] == 'b' ? "20240101000000Z" : "20890101000000Z";
        ASSERT_TRUE(ca.Issue("/C=RU/CN=CHOSEN", dir + "/certs/" + name + ".pem", dir + "/" + name + ".key", start,
                             "20900101000000Z"));
    }
    auto env = Encrypt(Open("USER01", {{1, dir + "/certs"}}), "for the current key", "/C=RU/CN=CHOSEN", 1);
    std::string plain;
    EXPECT_EQ(Decrypt(Open("USER01", {{0, dir + "/certs/b.pem"}, {6, dir + "/b.key"}}), env, &plain), 0) << LastError();
    EXPECT_NE(Decrypt(Open("USER01", {{0, dir + "/certs/a.pem"}, {6, dir + "/a.key"}}), env, &plain), 0);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, EnvelopeTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt

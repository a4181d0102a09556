// New keys and requests, key containers, backups and the keygen utility.
#include <openssl/pem.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "harness.h"
#include "pki/openssl_ca.h"

namespace tkt {
namespace {

class KeysTest : public ToolkitTest {
protected:
    std::map<int, std::string> Subject(const std::string& cn) {
        return {{3, Cipher()}, {4, SigAlg()}, {10, "RU"}, {13, "NEWBANK"}, {15, cn}, {16, "a@b.ru"}, {23, "Chief"}};
    }
    bool RequestMatches(mpro::Context ctx, const std::string& cert, const std::string& req) {
        return Tk().CertificateAndRequestMatch(ctx, cert.c_str(), req.c_str()) != 0;
    }
    std::string Backup(mpro::Context ctx, const std::string& dir, std::int32_t* code = nullptr) {
        std::string out(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), '\0');
        std::int32_t rc = Tk().PSePrivateKeyBackup(ctx, dir.c_str(), out.data());
        if (code != nullptr) *code = rc;
        else EXPECT_EQ(rc, 0) << LastError();
        return out.c_str();
    }
    std::string RunKeygen(const std::string& dir) {
        std::string cmd = BinDir() + "/vorlan-keygen --force '" + dir + "' " + (GetParam() == Algo::Gost ? "gost" : "rsa");
        FILE* p = popen(cmd.c_str(), "r");
        char line[256] = {};
        std::string out = p != nullptr && std::fgets(line, sizeof line, p) != nullptr ? line : "";
        EXPECT_EQ(p != nullptr ? pclose(p) : -1, 0);
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
};

TEST_P(KeysTest, GeneratedKeyAndRequestBelongTogether) {
    std::string dir = TempDir("gen");
    auto params = Subject("NEWUSER");
    params[6] = dir + "/new.key";
    params[8] = dir + "/new.req";
    params[7] = "secret";
    mpro::Context ctx = OpenWith(params);
    char buf[260] = {};
    ASSERT_EQ(Tk().GenerateNewSSK(ctx, buf), 0) << LastError();
    struct stat st {};
    ASSERT_EQ(stat(params[6].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(ReadAll(params[6]).find("ENCRYPTED PRIVATE KEY"), std::string::npos);

    std::string cert = Pki().IssueForRequest(params[8], dir + "/new.pem");
    EXPECT_TRUE(RequestMatches(ctx, cert, params[8]));
    EXPECT_FALSE(RequestMatches(ctx, Pki().CertFile("USER01"), params[8]));
    EXPECT_NE(Tk().CertificateAndPrivateKeyMatch(ctx, cert.c_str(), params[6].c_str()), 0) << LastError();
    EXPECT_EQ(Tk().CertificateAndPrivateKeyMatch(ctx, Pki().CertFile("USER02").c_str(), params[6].c_str()), 0);

    // The new key signs once the certificate is there; a wrong password opens nothing.
    auto signer = params;
    signer[0] = cert;
    std::vector<unsigned char> sig(4224);
    std::int32_t len = 4224;
    EXPECT_EQ(Tk().SignData(OpenWith(signer), reinterpret_cast<const unsigned char*>("x"), 1, sig.data(), &len, ""), 0) << LastError();
    signer[7] = "wrong";
    EXPECT_EQ(Tk().SignData(OpenWith(signer), reinterpret_cast<const unsigned char*>("x"), 1, sig.data(), &len, ""), -1006);
    EXPECT_EQ(LastError().find("secret"), std::string::npos);
}

TEST_P(KeysTest, RequestCarriesSubjectFields) {
    std::string dir = TempDir("subj");
    auto params = Subject("FIELDS");
    params[6] = dir + "/k.pem";
    params[8] = dir + "/r.pem";
    params[12] = "Moscow";
    mpro::Context ctx = OpenWith(params);
    char buf[260] = {};
    ASSERT_EQ(Tk().GenerateNewSEK(ctx, buf), 0) << LastError();
    std::string req = ReadAll(params[8]);
    mpro::ReqInfoRecord r{};
    ASSERT_EQ(Tk().GetReqInfo(ctx, reinterpret_cast<const unsigned char*>(req.data()), static_cast<std::int32_t>(req.size()), &r), 0);
    EXPECT_STREQ(r.Subject.CN, "FIELDS");
    EXPECT_STREQ(r.Subject.C, "RU");
    EXPECT_STREQ(r.Subject.O, "NEWBANK");
    EXPECT_STREQ(r.Subject.L, "Moscow");
    EXPECT_STREQ(r.Subject.E, "a@b.ru");
    EXPECT_STREQ(r.Subject.T, "Chief");
    EXPECT_EQ(r.Subject.S, nullptr);
    Tk().FreeReqInfo(ctx, &r);
}

TEST_P(KeysTest, MissingFilesAreReportedNotCrashed) {
    char buf[260] = {};
    EXPECT_EQ(Tk().GenerateNewSSK(OpenWith(Subject("X")), buf), -1001);
    mpro::Context ctx = OpenWith({});
    EXPECT_EQ(Tk().CertificateAndRequestMatch(ctx, "/no/cert.pem", "/no/req.pem"), 0);
    EXPECT_EQ(Tk().MakeRequestForPSE(ctx, nullptr, "x"), -1001);
    EXPECT_EQ(Tk().PSePrivateKeyBackup(ctx, "A:\\", nullptr), -1001);
}

TEST_P(KeysTest, ContainerRequestBackupAndIdentity) {
    std::string pse = TempDir("pse");
    std::string out = TempDir("out");
    auto params = Subject("PSEUSER");
    params[2] = pse;
    mpro::Context ctx = OpenWith(params);
    ASSERT_EQ(Tk().MakeRequestForPSE(ctx, pse.c_str(), (out + "/req.pem").c_str()), 0) << LastError();
    for (const char* f : {"uz.db3", "gk.db3", "num", "DB/CRYPT/ckd.key", "DB/SIGN/sec_sgn.key"})
        EXPECT_TRUE(std::filesystem::exists(pse + "/" + f)) << f;
    struct stat st {};
    ASSERT_EQ(stat((pse + "/DB/SIGN/sec_sgn.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadAll(pse + "/DB/SIGN/sec_sgn.key").find("BEGIN PRIVATE KEY"), std::string::npos) << "stored plain";

    std::string cert = Pki().IssueForRequest(out + "/req.pem", out + "/cert.pem");
    EXPECT_NE(Tk().CertificateAndPSePrivateKeyMatch(ctx, cert.c_str(), pse.c_str()), 0) << LastError();
    EXPECT_EQ(Tk().CertificateAndPSePrivateKeyMatch(ctx, Pki().CertFile("USER01").c_str(), pse.c_str()), 0);

    // A second request reuses the container; the backup copies it and names it.
    ASSERT_EQ(Tk().MakeRequestForPSE(ctx, pse.c_str(), (out + "/req2.pem").c_str()), 0);
    EXPECT_TRUE(RequestMatches(ctx, cert, out + "/req2.pem"));
    std::string backup = TempDir("backup");
    // Copies keep their source's bits: the key files stay the owner's alone.
    std::filesystem::permissions(pse + "/uz.db3", static_cast<std::filesystem::perms>(0640));
    std::string first = Backup(ctx, backup);
    EXPECT_FALSE(first.empty());
    for (const auto& [file, mode] : {std::pair{"uz.db3", 0640u}, {"DB/CRYPT/ckd.key", 0600u}, {"DB/SIGN/sec_sgn.key", 0600u}}) {
        ASSERT_EQ(stat((backup + "/" + file).c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, mode) << file;
    }
    EXPECT_EQ(Backup(ctx, backup), first);
    EXPECT_EQ(Backup(ctx, pse), first);

    // The keygen utility makes a new container: the identity changes.
    std::string printed = RunKeygen(backup);
    std::string second = Backup(ctx, backup);
    EXPECT_NE(second, first);
    EXPECT_EQ(printed, second);
    EXPECT_FALSE(Tk().CertificateAndPSePrivateKeyMatch(ctx, cert.c_str(), backup.c_str()));

    // The PSE signs with its container key once its certificate is the own one.
    auto signer = params;
    signer[0] = cert;
    std::vector<unsigned char> sig(4224);
    std::int32_t len = 4224;
    EXPECT_EQ(Tk().SignData(OpenWith(signer), reinterpret_cast<const unsigned char*>("x"), 1, sig.data(), &len, ""), 0) << LastError();
}

TEST_P(KeysTest, MatchingContainerInstallsSignatureKey) {
    std::string pse = TempDir("pse");
    std::string fresh = TempDir("fresh");
    std::string out = TempDir("out");
    auto params = Subject("RENEW");
    params[2] = pse;
    mpro::Context ctx = OpenWith(params);
    ASSERT_EQ(Tk().MakeRequestForPSE(ctx, pse.c_str(), (out + "/old.req").c_str()), 0) << LastError();
    std::string oldKey = ReadAll(pse + "/DB/SIGN/sec_sgn.key");
    RunKeygen(fresh);
    ASSERT_EQ(Tk().MakeRequestForPSE(ctx, fresh.c_str(), (out + "/new.req").c_str()), 0);
    std::string newCert = Pki().IssueForRequest(out + "/new.req", out + "/new.pem");
    std::string oldCert = Pki().IssueForRequest(out + "/old.req", out + "/old.pem");

    std::string buf(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), '\0');
    EXPECT_EQ(Tk().CertificateAndPSePrivateKeysMatch(ctx, oldCert.c_str(), fresh.c_str(), buf.data()), 0);
    EXPECT_EQ(ReadAll(pse + "/DB/SIGN/sec_sgn.key"), oldKey) << "nothing installed without a match";
    ASSERT_NE(Tk().CertificateAndPSePrivateKeysMatch(ctx, newCert.c_str(), fresh.c_str(), buf.data()), 0) << LastError();
    EXPECT_EQ(ReadAll(pse + "/DB/SIGN/sec_sgn.key"), ReadAll(fresh + "/DB/SIGN/sec_sgn.key"));
    std::string previous = buf.c_str();
    ASSERT_FALSE(previous.empty());
    EXPECT_TRUE(ReadAll(previous).ends_with(oldKey)) << "kept with the storage key that opens it";
}

// RequestBits: the key size of a PEM request file (0 when it cannot be read).
int RequestBits(const std::string& file) {
    const std::string pem = ReadAll(file);
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    const std::unique_ptr<X509_REQ, decltype(&X509_REQ_free)> req(PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr),
                                                                  &X509_REQ_free);
    return req ? EVP_PKEY_get_bits(X509_REQ_get0_pubkey(req.get())) : 0;
}

// New RSA keys, in key files and in containers, never have fewer than 2048 bits whatever
// size is asked for; a 1024-bit key made before still signs and verifies.
TEST_P(KeysTest, NewRsaKeysHaveAtLeast2048Bits) {
    if (GetParam() != Algo::Rsa) GTEST_SKIP() << "RSA only";
    const std::string dir = TempDir("bits");
    for (const std::string asked : {"512", "1024"}) {
        auto params = Subject("BITS");
        params[5] = asked;
        params[6] = dir + "/" + asked + ".key";
        params[8] = dir + "/" + asked + ".req";
        mpro::Context ctx = OpenWith(params);
        char buf[260] = {};
        ASSERT_EQ(Tk().GenerateNewSSK(ctx, buf), 0) << LastError();
        EXPECT_EQ(RequestBits(params[8]), 2048) << asked;
        const std::string pse = TempDir("bits_pse");
        ASSERT_EQ(Tk().MakeRequestForPSE(ctx, pse.c_str(), (pse + "/req.pem").c_str()), 0) << LastError();
        EXPECT_EQ(RequestBits(pse + "/req.pem"), 2048) << asked;
    }
    const std::string cert = dir + "/old.pem", key = dir + "/old.key";
    vorlan::test::OpensslCA ca(dir, Algo::Rsa, 1024);
    ca.UseRoot(Pki().CaCertFile(), Pki().CaKeyFile());
    ASSERT_TRUE(ca.Issue("/CN=OLD1024", cert, key));
    std::vector<unsigned char> sig(4224);
    std::int32_t len = 4224, dataLength = 1;
    const auto* data = reinterpret_cast<const unsigned char*>("x");
    ASSERT_EQ(Tk().SignData(Open("USER01", {{0, cert}, {6, key}}), data, 1, sig.data(), &len, ""), 0) << LastError();
    std::string who(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
    EXPECT_EQ(Tk().VerifyData(Open("USER02"), data, &dataLength, sig.data(), len, who.data()), 0) << LastError();
}

TEST_P(KeysTest, VariantZeroTakesTheRenewedKeyFromKeys) {
    // A renewal of variant 0 leaves the new key in KEYDIR\KEYS while the key file parameter
    // still names the old key (or nothing): the key that belongs to the own certificate signs.
    std::string base = TempDir("keybase");
    auto params = Subject("RENEWED");
    params[6] = base + "/KEYS/key00002.pem";
    params[8] = base + "/renewed.req";
    char buf[260] = {};
    ASSERT_EQ(Plug0().GenerateNewSSK(OpenWith(params, &Plug0()), buf), 0);
    std::string cert = Pki().IssueForRequest(params[8], base + "/own.pem");
    struct Case {
        const char* keyFile;
        bool keyInKeys;
        bool signs;
    } const cases[] = {{"old", true, true}, {"", true, true}, {"old", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keyFile) + (c.keyInKeys ? " with KEYS" : " without KEYS"));
        if (!c.keyInKeys) std::filesystem::rename(base + "/KEYS", base + "/KEYS.away");
        std::map<int, std::string> p = {{0, cert}, {2, base}, {3, Cipher()}, {4, SigAlg()}, {23, Pki().CaDir()},
                                        {6, *c.keyFile != '\0' ? Pki().KeyFile("USER01") : ""}};
        mpro::Context signer = OpenWith(p, &Plug0());
        std::vector<unsigned char> sig(4224);
        std::int32_t len = 4224;
        const std::int32_t rc = Plug0().SignData(signer, reinterpret_cast<const unsigned char*>("abc"), 3, sig.data(), &len, "");
        if (!c.signs) {
            EXPECT_NE(rc, 0);
            continue;
        }
        ASSERT_EQ(rc, 0);
        std::string who(4096, '\0');
        std::int32_t dlen = 3;
        EXPECT_EQ(Plug0().VerifyData(signer, reinterpret_cast<const unsigned char*>("abc"), &dlen, sig.data(), len, who.data()), 0);
        EXPECT_NE(std::string(who.c_str()).find("RENEWED"), std::string::npos) << who.c_str();
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, KeysTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt

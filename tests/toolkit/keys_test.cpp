// New keys and requests, key containers, backups and the keygen utility.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "harness.h"

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
        std::string cmd = BinDir() + "/vorlan-keygen '" + dir + "' " + (GetParam() == Algo::Gost ? "gost" : "rsa");
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
    EXPECT_EQ(ReadAll(previous), oldKey);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, KeysTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt

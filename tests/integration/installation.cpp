#include "installation.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {

namespace {

// The process-wide root: one per process, as the library allows.
const std::string& ProcessRoot() {
    static const std::string root =
        platform::TempDirectory() + "vorlan_e2e_" + std::to_string(std::random_device{}()) + "\\";
    return root;
}

std::map<Algorithm, std::unique_ptr<Installation>>& Made() {
    static std::map<Algorithm, std::unique_ptr<Installation>> made;
    return made;
}

// Installations go before the process exits: OpenSSL cleans itself up at exit, and their
// keys must be freed before that.
class InstallationsEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        Made().clear();
        DeleteDirectory(ProcessRoot(), true);
    }
};

const auto* const kInstallations = ::testing::AddGlobalTestEnvironment(std::make_unique<InstallationsEnvironment>().release());

}  // namespace

Installation* Installation::Get(Algorithm algorithm) {
    auto& slot = Made()[algorithm];
    if (!slot && TestPKI::Available(algorithm)) {
        slot.reset(new Installation(algorithm));
        slot->Build();
    }
    return slot.get();
}

Installation::Installation(Algorithm algorithm)
    : algorithm_(algorithm),
      dir_(ProcessRoot() + (algorithm == Algorithm::Gost ? "gost\\" : "rsa\\")),
      pki_(algorithm) {}

EnginePtr Installation::Open(const std::string& user, const char* lifetime) const {
    return OpenWith({{1, Path(user + "\\own.pem")}, {2, Path("certs")}, {3, Path(user)}, {7, Path(user + "\\key.pem")},
                     {22, lifetime}, {25, Path("CA")}, {26, Path("CRL")}});
}

EnginePtr Installation::OpenWith(const std::vector<std::pair<int, std::string>>& params) const {
    EnginePtr engine(GetCryptObj(0));
    VORLAN_HANDLE h = engine.get();
    SetRootPath(h, ProcessRoot().c_str());
    const bool gost = algorithm_ == Algorithm::Gost;
    EXPECT_EQ(SetCryptoParamValue(h, 4, gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"), 0);
    EXPECT_EQ(SetCryptoParamValue(h, 5, gost ? "R3410-R3411" : "SHA1"), 0);
    for (const auto& [index, value] : params)
        EXPECT_EQ(SetCryptoParamValue(h, index, value.c_str()), 0) << "parameter " << index;
    return engine;
}

std::string Installation::Native(const std::string& relative) const { return platform::NativePath(Path(relative)); }

std::string Installation::StageCertificate(const std::string& cn, long serial) const {
    const std::string cert = Path("staging\\" + cn + "_" + std::to_string(serial) + ".pem");
    pki_.IssueUser(cn, serial, Native("staging\\" + cn + "_" + std::to_string(serial) + ".key"), platform::NativePath(cert));
    return cert;
}

std::string Installation::StageKey(const std::string& cn, long serial) const {
    return Path("staging\\" + cn + "_" + std::to_string(serial) + ".key");
}

std::string Installation::StageRequest(const std::string& cn, long serial) const {
    const std::string request = Path("staging\\" + cn + "_" + std::to_string(serial) + ".req");
    pki_.WriteRequest(platform::NativePath(StageKey(cn, serial)), cn, platform::NativePath(request));
    return request;
}

void Installation::Build() {
    for (const char* sub : {"certs", "CA", "staging", "USER01", "USER02", "USER03", "REVOKED", "EXPIRED"})
        ASSERT_TRUE(CreateDirectoryPath(Path(sub))) << sub;
    pki_.WriteCA(Native("CA\\ca.pem"));
    struct User {
        const char* cn;
        long serial, from, to;
    };
    for (const User& u : {User{"USER01", 101, -1, 365}, User{"USER02", 102, -1, 365}, User{"USER03", 103, -1, 365},
                          User{"REVOKED", 104, -1, 365}, User{"EXPIRED", 105, -30, -1}}) {
        const std::string dir = Path(std::string(u.cn) + "\\");
        pki_.IssueUser(u.cn, u.serial, platform::NativePath(dir + "key.pem"), platform::NativePath(dir + "own.pem"),
                       u.from, u.to);
        // Correspondents' certificates enter the certificate directory through the library.
        // Each under a name of its own: the toolkit reads a file's subject on a context cached
        // for that path, which a same-millisecond reuse of the name would find stale.
        const std::string staged = Path("staging\\" + std::string(u.cn) + ".pem");
        ASSERT_TRUE(CopyFileWhole(dir + "own.pem", staged));
        EXPECT_EQ(IncludePublicKey(Open("USER01").get(), staged.c_str()), 0) << u.cn;
    }
    pki_.WriteCRL(Native("staging\\new.crl"), {104});
    EXPECT_EQ(IncludeCRL(Open("USER01").get(), Path("staging\\new.crl").c_str()), 0);
}

}  // namespace vorlan::test

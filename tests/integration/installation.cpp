#include "installation.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {

namespace {

// The process-wide root: one per process, as the library allows. VORLAN_E2E_ROOT names it
// for a run whose installations a peer reads afterwards (then it is kept).
const std::optional<std::string> kGivenRoot = platform::GetEnv("VORLAN_E2E_ROOT");

const std::string& ProcessRoot() {
    static const std::string root =
        kGivenRoot && !kGivenRoot->empty()
            ? IncludeBackslash(*kGivenRoot)
            : platform::TempDirectory() + "vorlan_e2e_" + std::to_string(std::random_device{}()) + "\\";
    return root;
}

// PeerRoot: VORLAN_E2E_PEER, the root of another run whose test PKI this run shares ("" when unset).
std::string PeerRoot() {
    const std::string peer = platform::GetEnv("VORLAN_E2E_PEER").value_or("");
    return peer.empty() ? peer : IncludeBackslash(peer);
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
        if (!kGivenRoot || kGivenRoot->empty()) DeleteDirectory(ProcessRoot(), true);
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
      dir_(ProcessRoot() + SubdirectoryOf(algorithm)),
      pki_(algorithm) {}

std::vector<std::pair<int, std::string>> Installation::Params(const std::string& user, const char* lifetime) const {
    const bool gost = algorithm_ == Algorithm::Gost;
    return {{1, Path(user + "\\own.pem")}, {2, Path("certs")},          {3, Path(user)},
            {4, gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"},                  {5, gost ? "R3410-R3411" : "SHA1"},
            {7, Path(user + "\\key.pem")}, {22, lifetime},              {25, Path("CA")},
            {26, Path("CRL")}};
}

const std::string& Installation::Root() { return ProcessRoot(); }

std::string Installation::SubdirectoryOf(Algorithm algorithm) { return algorithm == Algorithm::Gost ? "gost\\" : "rsa\\"; }

std::string Installation::PeerPath(const std::string& relative) const {
    const std::string peer = PeerRoot();
    return peer.empty() ? peer : peer + SubdirectoryOf(algorithm_) + relative;
}

EnginePtr Installation::Open(const std::string& user, const char* lifetime) const {
    return OpenWith(Params(user, lifetime));
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

void InstallationTest::SetUp() {
    install_ = Installation::Get(GetParam());
    if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
}

std::string InstallationTest::ErrorText(VORLAN_HANDLE h, std::int32_t code) {
    char text[1024] = {};
    GetCryptoErrorString(h, code, text);
    return text;
}

// The CA, the users' keys and certificates and the CRL come from the test PKI, or as files
// from the peer's installation of the same algorithm when there is a peer.
void Installation::Build() {
    for (const char* sub : {"certs", "CA", "staging", "USER01", "USER02", "USER03", "REVOKED", "EXPIRED"})
        ASSERT_TRUE(CreateDirectoryPath(Path(sub))) << sub;
    const bool shared = !PeerPath("").empty();
    auto take = [&](const std::string& from, const std::string& to) {
        ASSERT_TRUE(CopyFileWhole(PeerPath(from), Path(to))) << PeerPath(from);
    };
    if (shared) {
        take("CA\\ca.pem", "CA\\ca.pem");
        take("ca.key", "ca.key");
    } else {
        pki_.WriteCA(Native("CA\\ca.pem"));
        pki_.WriteCAKey(Native("ca.key"));  // for certificates issued by the openssl command line
    }
    struct User {
        const char* cn;
        long serial, from, to;
    };
    for (const User& u : {User{"USER01", 101, -1, 365}, User{"USER02", 102, -1, 365}, User{"USER03", 103, -1, 365},
                          User{"REVOKED", 104, -1, 365}, User{"EXPIRED", 105, -30, -1}}) {
        const std::string dir = Path(std::string(u.cn) + "\\");
        if (shared) {
            take(std::string(u.cn) + "\\key.pem", std::string(u.cn) + "\\key.pem");
            take(std::string(u.cn) + "\\own.pem", std::string(u.cn) + "\\own.pem");
        } else {
            pki_.IssueUser(u.cn, u.serial, platform::NativePath(dir + "key.pem"), platform::NativePath(dir + "own.pem"),
                           u.from, u.to);
        }
        // Correspondents' certificates enter the certificate directory through the library
        // (an expired one, which it refuses, as an older installation may hold it). Each under
        // a name of its own: the toolkit reads a file's subject on a context cached for that
        // path, which a same-millisecond reuse of the name would find stale.
        const std::string staged = Path("staging\\" + std::string(u.cn) + ".pem");
        const bool expired = u.to < 0;
        ASSERT_TRUE(CopyFileWhole(dir + "own.pem", expired ? Path("certs\\" + std::string(u.cn) + ".pem") : staged));
        if (!expired) {
            EXPECT_EQ(IncludePublicKey(Open("USER01").get(), staged.c_str()), 0) << u.cn;
        }
    }
    if (shared)
        take("CRL\\crl1.pem", "staging\\new.crl");  // where the peer's library installed it
    else
        pki_.WriteCRL(Native("staging\\new.crl"), {104});
    EXPECT_EQ(IncludeCRL(Open("USER01").get(), Path("staging\\new.crl").c_str()), 0);
}

}  // namespace vorlan::test

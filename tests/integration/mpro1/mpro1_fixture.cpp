#include "mpro1_fixture.h"

#include <random>

#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/zel_root.h"

namespace vorlan::test {

namespace {

// The directories of a user: key base (KEYS, CA, CRL), certificates, remote generation.
constexpr const char* kUserDirs[] = {"KEYS", "CA", "CRL", "certs", "RG"};

const std::string& ProcessRoot() {
    static const std::string root =
        platform::TempDirectory() + "vorlan_mpro1_" + std::to_string(std::random_device{}()) + "\\";
    return root;
}

// The process-wide modules the library sets up at load; the plug-in is found beside the test.
class ModulesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ZELRootModuleLoad();
        BindingModuleLoad();
        CreateDirectoryPath(ProcessRoot());
    }
    void TearDown() override {
        BindingModuleUnload();
        DeleteDirectory(ProcessRoot(), true);
    }
};

const auto* const kModules = ::testing::AddGlobalTestEnvironment(std::make_unique<ModulesEnvironment>().release());

void Collect(const std::string& dir, const std::string& prefix, std::map<std::string, std::string>& files) {
    for (const auto& entry : platform::Enumerate(dir + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.attributes & platform::kAttrDirectory) {
            Collect(dir + entry.name + "\\", prefix + entry.name + "\\", files);
        } else {
            files[prefix + entry.name] = platform::ReadWholeFile(dir + entry.name).value_or("");
        }
    }
}

}  // namespace

std::string AlgorithmName(const ::testing::TestParamInfo<Algorithm>& info) {
    return info.param == Algorithm::Gost ? "Gost" : "Rsa";
}

OpensslCA* Mpro1Test::CA() {
    static std::map<Algorithm, std::unique_ptr<OpensslCA>> made;
    if (made.count(GetParam()) == 0) {
        const bool gost = GetParam() == Algorithm::Gost;
        const std::string dir = ProcessRoot() + (gost ? "ca_gost" : "ca_rsa");
        CreateDirectoryPath(dir);
        auto ca = std::make_unique<OpensslCA>(platform::NativePath(dir), GetParam());
        if (!ca->MakeRoot(std::string("/C=RU/O=Test Bank/CN=Test CA ") + (gost ? "GOST" : "RSA"), 3650)) ca.reset();
        made[GetParam()] = std::move(ca);
    }
    return made[GetParam()].get();
}

void Mpro1Test::SetUp() {
    if (CA() == nullptr) GTEST_SKIP() << "the openssl command line cannot act as this CA";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = ProcessRoot() + info->test_suite_name() + "_" + info->name() + "\\";
    for (char& c : root_)
        if (c == '/') c = '_';
    DeleteDirectory(root_, true);
    ASSERT_TRUE(CreateDirectoryPath(root_));
    AddUser("USER01", "USER01");
    AddUser("USER02", "USER02");
}

void Mpro1Test::TearDown() {
    if (!root_.empty()) DeleteDirectory(root_, true);
}

std::string Mpro1Test::Native(const std::string& relative) const { return platform::NativePath(Path(relative)); }

std::string Mpro1Test::Read(const std::string& relative) const {
    return platform::ReadWholeFile(Path(relative)).value_or("");
}

bool Mpro1Test::Exists(const std::string& relative) const { return platform::FileExists(Path(relative)); }

std::map<std::string, std::string> Mpro1Test::Files(const std::string& relative) const {
    std::map<std::string, std::string> files;
    Collect(IncludeBackslash(Path(relative)), "", files);
    return files;
}

void Mpro1Test::Restore(const std::string& dir, const std::map<std::string, std::string>& files) {
    ASSERT_TRUE(DeleteDirectory(Path(dir), false));
    for (const char* sub : kUserDirs) ASSERT_TRUE(CreateDirectoryPath(Path(dir + "\\" + sub)));
    for (const auto& [name, content] : files) {
        const std::string file = Path(dir + "\\" + name);
        ASSERT_TRUE(CreateDirectoryPath(file.substr(0, file.find_last_of('\\'))));
        ASSERT_TRUE(platform::WriteWholeFile(file, content.data(), content.size()));
    }
}

void Mpro1Test::AddUser(const std::string& dir, const std::string& cn) {
    for (const char* sub : kUserDirs) ASSERT_TRUE(CreateDirectoryPath(Path(dir + "\\" + sub)));
    ASSERT_TRUE(CA()->NewUser("/C=RU/O=Test Bank/CN=" + cn, NextSerial(), Native(dir + "\\KEYS\\key00001.pem"),
                              Native(dir + "\\own.pem")));
    ASSERT_TRUE(CopyFileWhole(CA()->CertFile(), Path(dir + "\\CA\\ca.pem")));
    users_[dir] = cn;
    for (const auto& [other, otherCn] : users_) {
        ASSERT_TRUE(CopyFileWhole(Path(dir + "\\own.pem"), Path(other + "\\certs\\" + cn + ".pem")));
        ASSERT_TRUE(CopyFileWhole(Path(other + "\\own.pem"), Path(dir + "\\certs\\" + otherCn + ".pem")));
    }
}

std::unique_ptr<TMPro1CryptoEngine> Mpro1Test::Open(const std::string& dir) {
    auto engine = std::make_unique<TMPro1CryptoEngine>();
    const bool gost = GetParam() == Algorithm::Gost;
    const std::pair<int, std::string> params[] = {
        {1, Path(dir + "\\own.pem")},   {2, Path(dir + "\\certs")},  {3, Path(dir)},
        {4, gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"},                   {5, gost ? "R3410-R3411" : "SHA1"},
        {6, gost ? "1024" : "2048"},    {7, Path(dir + "\\KEYS\\key00001.pem")},
        {24, Path(dir + "\\CA")},       {25, Path(dir + "\\CRL")}};
    for (const auto& [index, value] : params)
        EXPECT_EQ(engine->SetCryptoParamValue(index, value.c_str()), 0) << "parameter " << index;
    engine->SetRemoteGeneratePath(Path(dir + "\\RG").c_str());
    return engine;
}

}  // namespace vorlan::test

#include "demo_installation.h"

#include <random>
#include <stdexcept>
#include <utility>

#include "pki/test_pki.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::cli {

namespace {

constexpr const char* kUsers[] = {"USER01", "USER02", "USER03"};

test::Algorithm PkiAlgorithm(DemoAlgorithm algorithm) {
    return algorithm == DemoAlgorithm::Gost ? test::Algorithm::Gost : test::Algorithm::Rsa;
}

}  // namespace

TempRoot::TempRoot(bool keep) : keep_(keep) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = platform::TempDirectory() + "vorlan_demo_" + std::to_string(random()) + "\\";
        // CreateDir fails for an existing directory, so a root is never shared with another run.
        if (platform::CreateDir(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a directory under " + platform::TempDirectory());
}

TempRoot::~TempRoot() {
    if (!keep_) DeleteDirectory(path_, true);
}

Engine::~Engine() {
    if (handle_ != nullptr) api_->DoneEngine(handle_);
}

DemoInstallation::DemoInstallation(const ExportApi& api, const std::string& root, DemoAlgorithm algorithm)
    : api_(api), root_(IncludeBackslash(root)), subdir_(std::string(AlgorithmName(algorithm)) + "\\"),
      algorithm_(algorithm) {}

DemoInstallation::~DemoInstallation() = default;

std::string DemoInstallation::Native(const std::string& relative) const {
    return platform::NativePath(root_ + subdir_ + relative);
}

bool DemoInstallation::WritePKI(StepLog& log) {
    const std::string name = AlgorithmName(algorithm_);
    try {
        if (!test::TestPKI::Available(PkiAlgorithm(algorithm_)))
            return log.Step("test PKI in " + name, -1, "OpenSSL's GOST engine is not installed", false);
        for (const char* sub : {"certs", "CA", "CRL", "staging", "USER01", "USER02", "USER03"})
            if (!CreateDirectoryPath(root_ + subdir_ + sub))
                return log.Step(std::string("directory ") + sub, -1, "cannot be created", false);
        pki_ = std::make_unique<test::TestPKI>(PkiAlgorithm(algorithm_));
        pki_->WriteCA(Native("CA\\ca.pem"));
        long serial = 101;
        for (const char* user : kUsers) {
            const std::string dir = std::string(user) + "\\";
            pki_->IssueUser(user, serial++, Native(dir + "key.pem"), Native(dir + "own.pem"));
        }
        pki_->WriteCRL(Native("staging\\revoked.crl"), {199});
    } catch (const std::exception& e) {
        return log.Step("test PKI in " + name, -1, e.what(), false);
    }
    return log.Step("test PKI in " + name + ": CA, USER01, USER02, USER03, CRL written", 0, "", true);
}

bool DemoInstallation::FileCertificates(const Engine& filer, StepLog& log) const {
    bool ok = true;
    for (const char* user : kUsers) {
        // Each user's certificate enters the certificate directory through the library.
        const std::string staged = std::string("staging\\") + user + ".pem";
        if (!CopyFileWhole(root_ + subdir_ + user + "\\own.pem", root_ + subdir_ + staged)) {
            ok = log.Step(std::string("staging the certificate of ") + user, -1, "copy failed", false) && ok;
            continue;
        }
        const std::int32_t code = api_.IncludePublicKey(filer.get(), Macro(staged).c_str());
        ok = log.Step(std::string("IncludePublicKey ") + user, code, api_.ErrorText(filer.get(), code), code == 0) && ok;
    }
    const std::int32_t code = api_.IncludeCRL(filer.get(), Macro("staging\\revoked.crl").c_str());
    return log.Step("IncludeCRL", code, api_.ErrorText(filer.get(), code), code == 0) && ok;
}

Engine DemoInstallation::Open(const std::string& user, StepLog& log) const {
    Engine engine(api_, api_.GetCryptObj(0));
    if (engine.get() == nullptr) {
        log.Step(user + ": GetCryptObj gave no engine", -1, "", false);
        return engine;
    }
    api_.SetRootPath(engine.get(), root_.c_str());
    const bool gost = algorithm_ == DemoAlgorithm::Gost;
    const std::pair<int, std::string> params[] = {
        {1, Macro(user + "\\own.pem")}, {2, Macro("certs")},  {3, Macro(user)},
        {4, gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"},           {5, gost ? "R3410-R3411" : "SHA1"},
        {7, Macro(user + "\\key.pem")}, {25, Macro("CA")},    {26, Macro("CRL")}};
    for (const auto& [index, value] : params) {
        const std::int32_t code = api_.SetCryptoParamValue(engine.get(), index, value.c_str());
        if (code != 0) {
            log.Step(user + ": SetCryptoParamValue " + std::to_string(index) + " = " + value, code,
                     api_.ErrorText(engine.get(), code), false);
            return Engine(api_, nullptr);
        }
    }
    log.Step(user + ": engine set up (GetCryptObj, SetRootPath, " + std::to_string(std::size(params)) +
                 " parameters)",
             0, "", true);
    return engine;
}

}  // namespace vorlan::cli

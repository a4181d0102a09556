#include "timing_installation.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <utility>

#include "pki/test_pki.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::timing {

namespace {

constexpr const char* kUsers[] = {"USER01", "USER02", "USER03"};

bool Fail(const std::string& what) {
    std::fprintf(stderr, "exchange_timing: %s\n", what.c_str());
    return false;
}

}  // namespace

TempRoot::TempRoot() {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = platform::TempDirectory() + "vorlan_timing_" + std::to_string(random()) + "\\";
        // CreateDir fails for an existing directory, so a root is never shared with another run.
        if (platform::CreateDir(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a directory under " + platform::TempDirectory());
}

TempRoot::~TempRoot() { DeleteDirectory(path_, true); }

TimingInstallation::TimingInstallation(const std::string& root) : root_(IncludeBackslash(root)) {}

TimingInstallation::~TimingInstallation() = default;

std::string TimingInstallation::Native(const std::string& relative) const { return platform::NativePath(root_ + relative); }

bool TimingInstallation::Build() {
    try {
        if (!test::TestPKI::Available(test::Algorithm::Gost)) return Fail("OpenSSL's GOST engine is not installed");
        for (const char* sub : {"certs", "CA", "CRL", "staging", "USER01", "USER02", "USER03"})
            if (!CreateDirectoryPath(root_ + sub)) return Fail(std::string("cannot create ") + sub);
        pki_ = std::make_unique<test::TestPKI>(test::Algorithm::Gost);
        pki_->WriteCA(Native("CA\\ca.pem"));
        long serial = 101;
        for (const char* user : kUsers)
            pki_->IssueUser(user, serial++, Native(std::string(user) + "\\key.pem"), Native(std::string(user) + "\\own.pem"));
        pki_->WriteCRL(Native("staging\\revoked.crl"), {199});
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    const Engine filer = Open("USER01");
    if (!filer) return false;
    for (const char* user : kUsers) {
        // IncludePublicKey moves the file it is given: a staged copy goes in.
        const std::string staged = std::string("staging\\") + user + ".pem";
        if (!CopyFileWhole(root_ + user + "\\own.pem", root_ + staged)) return Fail("cannot stage " + staged);
        if (IncludePublicKey(filer.get(), Macro(staged).c_str()) != 0) return Fail(std::string("IncludePublicKey ") + user);
    }
    if (IncludeCRL(filer.get(), Macro("staging\\revoked.crl").c_str()) != 0) return Fail("IncludeCRL");
    // Dated an hour back, as an installation nobody touched lately: files changed within the
    // last two seconds are read again on every call, which is not what a host meets.
    std::error_code ec;
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    const std::filesystem::path top(platform::NativePath(root_));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top, ec))
        std::filesystem::last_write_time(entry.path(), past, ec);
    return true;
}

Engine TimingInstallation::Open(const std::string& user) const {
    Engine engine(GetCryptObj(0));
    if (!engine) {
        Fail("GetCryptObj gave no engine");
        return engine;
    }
    SetRootPath(engine.get(), root_.c_str());
    const std::pair<int, std::string> params[] = {
        {1, Macro(user + "\\own.pem")}, {2, Macro("certs")}, {3, Macro(user)}, {4, "RUS-GAMMAR"}, {5, "R3410-R3411"},
        {7, Macro(user + "\\key.pem")}, {25, Macro("CA")},   {26, Macro("CRL")}};
    for (const auto& [index, value] : params) {
        if (SetCryptoParamValue(engine.get(), index, value.c_str()) != 0) {
            Fail(user + ": SetCryptoParamValue " + std::to_string(index) + " = " + value);
            return Engine();
        }
    }
    return engine;
}

}  // namespace vorlan::timing

// An installation made at test time for one algorithm: a CA, users USER01..USER03 plus a
// revoked and an expired one, their certificates filed and the CRL installed through the
// library's own exports; engines opened per user. The CA's key lies in ca.key. VORLAN_E2E_ROOT
// sets (and keeps) the root; VORLAN_E2E_PEER names another run's root whose test PKI files are
// used instead of new ones, so that two builds (Linux, Windows) share one PKI.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pki/test_pki.h"
#include "vorlan13.h"

namespace vorlan::test {

// EngineHandle: an engine from GetCryptObj, released with DoneEngine.
struct EngineDeleter {
    void operator()(void* engine) const { DoneEngine(static_cast<VORLAN_HANDLE>(engine)); }
};
using EnginePtr = std::unique_ptr<std::remove_pointer_t<VORLAN_HANDLE>, EngineDeleter>;

class Installation {
public:
    // Get: the installation of an algorithm, made on first use (null when it cannot be made).
    static Installation* Get(Algorithm algorithm);
    // Open: an engine configured for the user (own certificate, key, directories, algorithms).
    EnginePtr Open(const std::string& user, const char* lifetime = "") const;
    // OpenWith: an engine with the installation's algorithms and the parameters given.
    EnginePtr OpenWith(const std::vector<std::pair<int, std::string>>& params) const;
    // Params: the parameters (number, value) that Open sets for the user.
    std::vector<std::pair<int, std::string>> Params(const std::string& user, const char* lifetime = "") const;
    // Root: the process-wide root that Open sets.
    static const std::string& Root();
    // Path: a path inside this installation.
    std::string Path(const std::string& relative) const { return dir_ + relative; }
    // Stage: writes a new certificate of cn (serial) into staging\ and returns its path.
    std::string StageCertificate(const std::string& cn, long serial) const;
    // StageKey / StageRequest: the key of a staged certificate, and a request for that key.
    std::string StageKey(const std::string& cn, long serial) const;
    std::string StageRequest(const std::string& cn, long serial) const;
    // Native: a path inside this installation as the operating system spells it (for OpenSSL).
    std::string Native(const std::string& relative) const;
    // PeerPath: the same path in the peer's installation ("" when there is no peer).
    std::string PeerPath(const std::string& relative) const;
    Algorithm algorithm() const { return algorithm_; }
    const TestPKI& pki() const { return pki_; }

private:
    explicit Installation(Algorithm algorithm);
    static std::string SubdirectoryOf(Algorithm algorithm);
    void Build();
    Algorithm algorithm_;
    std::string dir_;  // ends in a backslash
    TestPKI pki_;
};

// InstallationTest: a test run once per algorithm on that algorithm's installation.
class InstallationTest : public ::testing::TestWithParam<Algorithm> {
protected:
    // SetUp: the installation; the test is skipped when the GOST engine is missing.
    void SetUp() override;
    // ErrorText: the library's text of a result code.
    static std::string ErrorText(VORLAN_HANDLE h, std::int32_t code);
    Installation* install_ = nullptr;
};

}  // namespace vorlan::test

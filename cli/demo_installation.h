// The demonstration's installation: a fresh temporary root, a test PKI of one algorithm
// (a CA and the users USER01..USER03) and engines configured through the exports only.
#pragma once

#include <memory>
#include <string>

#include "export_api.h"
#include "options.h"
#include "step_log.h"

namespace vorlan::test {
class TestPKI;
}

namespace vorlan::cli {

// TempRoot: a new directory under the system's temporary directory, removed with all its
// contents when the object goes, unless kept.
class TempRoot {
public:
    // TempRoot: creates the directory; throws std::runtime_error when it cannot.
    explicit TempRoot(bool keep);
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    // Path: the root, ending in a backslash.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool keep_;
};

// Engine: an engine handle from GetCryptObj, released with DoneEngine.
class Engine {
public:
    Engine(const ExportApi& api, VORLAN_HANDLE handle) : api_(&api), handle_(handle) {}
    Engine(Engine&& other) noexcept : api_(other.api_), handle_(other.handle_) { other.handle_ = nullptr; }
    Engine& operator=(Engine&&) = delete;
    Engine(const Engine&) = delete;
    ~Engine();
    VORLAN_HANDLE get() const { return handle_; }

private:
    const ExportApi* api_;
    VORLAN_HANDLE handle_;
};

class DemoInstallation {
public:
    // DemoInstallation: an installation of the algorithm under root's subdirectory GOST\ or RSA\.
    DemoInstallation(const ExportApi& api, const std::string& root, DemoAlgorithm algorithm);
    ~DemoInstallation();
    DemoInstallation(const DemoInstallation&) = delete;
    DemoInstallation& operator=(const DemoInstallation&) = delete;

    // WritePKI: makes the directories, the CA, the users' keys and certificates and a CRL
    // (OpenSSL), as one step; false when that failed.
    bool WritePKI(StepLog& log);
    // FileCertificates: files the users' certificates and the CRL through the engine's exports,
    // one step each; false when a step failed.
    bool FileCertificates(const Engine& engine, StepLog& log) const;
    // Open: an engine of user set up by SetRootPath and SetCryptoParamValue with root-macro
    // paths, as one step; a null engine when that failed.
    Engine Open(const std::string& user, StepLog& log) const;
    // Macro: the root-macro path of a file or directory of this installation.
    std::string Macro(const std::string& relative) const { return "%ZELRoot%" + subdir_ + relative; }

private:
    std::string Native(const std::string& relative) const;
    const ExportApi& api_;
    std::string root_;    // ends in a backslash
    std::string subdir_;  // "GOST\" or "RSA\"
    DemoAlgorithm algorithm_;
    std::unique_ptr<test::TestPKI> pki_;
};

}  // namespace vorlan::cli

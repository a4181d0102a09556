// The installation the timing runs in: a fresh temporary root with a test PKI of one
// algorithm (a CA and the users USER01..USER03), engines set up through the exports.
#pragma once

#include <memory>
#include <string>

#include "vorlan13.h"

namespace vorlan::test {
class TestPKI;
}

namespace vorlan::timing {

// TempRoot: a new directory under the system's temporary directory, removed with its contents.
class TempRoot {
public:
    // TempRoot: creates the directory; throws std::runtime_error when it cannot.
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    // Path: the root, ending in a backslash.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Engine: an engine handle from GetCryptObj, released with DoneEngine.
struct EngineDeleter {
    void operator()(VorlanEngine* engine) const { DoneEngine(engine); }
};
using Engine = std::unique_ptr<VorlanEngine, EngineDeleter>;

class TimingInstallation {
public:
    // TimingInstallation: a GOST installation under root.
    explicit TimingInstallation(const std::string& root);
    ~TimingInstallation();
    TimingInstallation(const TimingInstallation&) = delete;
    TimingInstallation& operator=(const TimingInstallation&) = delete;

    // Build: the CA, the users' keys and certificates and a CRL written, then filed through
    // USER01's engine; false (with the reason on standard error) when that failed.
    bool Build();
    // Open: an engine of user set up with root-macro paths; null when that failed.
    Engine Open(const std::string& user) const;

private:
    std::string Native(const std::string& relative) const;
    std::string Macro(const std::string& relative) const { return "%ZELRoot%" + relative; }
    std::string root_;  // ends in a backslash
    std::unique_ptr<test::TestPKI> pki_;
};

}  // namespace vorlan::timing

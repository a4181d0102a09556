// cert, crl and ca: the certificate store of the installation.
#include <filesystem>
#include <random>

#include "commands.h"
#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// StagedCopy: a copy of a file inside the installation root, removed with the object unless
// the library took it away. IncludePublicKey and IncludeCRL move the file they are given into
// the store: the copy keeps the caller's file, and keeps the move on one volume.
class StagedCopy {
public:
    StagedCopy(const std::string& file, const fs::path& root)
        : path_(root / ("incoming-" + std::to_string(std::random_device{}()) + fs::path(file).extension().string())) {
        std::error_code error;
        if (!fs::copy_file(ExistingFile(file), path_, error))
            throw Failure("cannot copy " + file + " into " + root.string() + ": " + error.message());
    }
    ~StagedCopy() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;
    std::string Path() const { return path_.string(); }

private:
    fs::path path_;
};

// IncludeStaged: an export that moves a file into the store, given a staged copy of file.
int IncludeStaged(Host& host, const std::string& file, decltype(ExportApi::IncludeCRL) ExportApi::*include,
                  const std::string& what, const std::string& done) {
    const Installation installation = host.Install();
    const auto engine = installation.Open();
    const StagedCopy staged(file, installation.Root());
    engine->Check((engine->Api().*include)(engine->get(), staged.Path().c_str()), what + " " + file);
    host.Out().Progress(done + " " + file);
    return 0;
}

}  // namespace

int CertInclude(Host& host, const std::string& file) {
    return IncludeStaged(host, file, &ExportApi::IncludePublicKey, "IncludePublicKey", "filed");
}

int CertRemove(Host& host, const std::string& uid) {
    const auto engine = host.Open();
    engine->Check(engine->Api().RemoveCertificate(engine->get(), uid.c_str()), "RemoveCertificate " + uid);
    host.Out().Progress("removed the certificate of " + uid);
    return 0;
}

int CertReport(Host& host, const std::string& uid, const std::string& file) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    const std::string path = file.empty() ? std::string() : ExistingFile(file);
    std::int32_t code = 0;
    const std::string report =
        Engine::Text(Engine::Room(api.GetMaxReportSize(engine->get()), "GetMaxReportSize"), [&](char* b) {
            code = file.empty() ? api.GetReport(engine->get(), uid.c_str(), b)
                                : api.GetPublicKeyPropertiesByFile(engine->get(), path.c_str(), b);
        });
    engine->Check(code, file.empty() ? "GetReport " + uid : "GetPublicKeyPropertiesByFile " + file);
    host.Out().Value(ReportLines(report));
    return 0;
}

int CertUpdateCache(Host& host, const std::string& file) {
    const auto engine = host.Open();
    engine->Check(engine->Api().UpdateCertificateCash(engine->get(), ExistingFile(file).c_str()), "UpdateCertificateCash " + file);
    return 0;
}

int CrlInclude(Host& host, const std::string& file) {
    return IncludeStaged(host, file, &ExportApi::IncludeCRL, "IncludeCRL", "installed the CRL");
}

int CaIncludeTransfer(Host& host, const std::string& transfer) {
    const auto engine = host.Open();
    const std::string text = ReadTransfer(transfer, engine->TransferSize());
    engine->Check(engine->Api().IncludeCACertificateFromTransfer(engine->get(), text.c_str()),
                  "IncludeCACertificateFromTransfer " + transfer);
    host.Out().Progress("filed the CA certificate of " + transfer);
    return 0;
}

}  // namespace vorlan::cli

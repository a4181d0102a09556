// cert, crl and ca: the certificate store of the installation.
#include <filesystem>
#include <random>

#include "certificate_facts.h"
#include "commands.h"
#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// The largest certificate or CRL file vorlan hands to the library.
constexpr std::size_t kMaxStoreFile = 64 * 1024 * 1024;

// StagedCopy: a copy of a file inside the installation root, created new under a unique name
// and removed with the object unless the library took it away. IncludePublicKey and
// IncludeCRL move the file they are given into the store: the copy keeps the caller's file,
// and keeps the move on one volume.
class StagedCopy {
public:
    StagedCopy(const std::string& file, const fs::path& root) {
        const std::string bytes = ReadInput(ExistingFile(file), kMaxStoreFile);
        std::random_device random;
        for (int attempt = 0; path_.empty(); ++attempt) {
            if (attempt == 32) throw Failure("cannot copy " + file + " into " + root.string() + ": no free name");
            const fs::path candidate = root / ("incoming-" + std::to_string(random()) + fs::path(file).extension().string());
            if (WriteNew(candidate.string(), bytes, Contents::Private)) path_ = candidate;
        }
    }
    ~StagedCopy() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;
    std::string Path() const { return path_.string(); }
    // Check: engine.Check, the staged file named by the user's name in the library's text.
    void Check(const Engine& engine, std::int32_t code, const std::string& what, const std::string& file) const {
        if (code == 0) return;
        std::string text = engine.ErrorText(code);
        for (const std::string& staged : {Path(), path_.filename().string()})
            for (std::size_t at = text.find(staged); at != std::string::npos; at = text.find(staged, at + file.size()))
                text.replace(at, staged.size(), file);
        throw Failure(what, code, text);
    }

private:
    fs::path path_;
};

// IncludeStaged: an export that moves a file into the store, given a staged copy of file;
// the facts of a certificate are printed once it is filed.
int IncludeStaged(Host& host, const std::string& file, decltype(ExportApi::IncludeCRL) ExportApi::*include,
                  const std::string& what, const std::string& done, bool describe) {
    const Installation installation = host.Install();
    const auto engine = installation.Open();
    const StagedCopy staged(file, installation.Root());
    std::string report;
    try {
        // What is filed is described when the library can; the filing itself decides.
        if (describe)
            report = engine->Report([&](char* b) {
                return engine->Api().GetPublicKeyPropertiesByFile(engine->get(), staged.Path().c_str(), b);
            }, "GetPublicKeyPropertiesByFile");
    } catch (const Failure&) {
    }
    staged.Check(*engine, (engine->Api().*include)(engine->get(), staged.Path().c_str()), what + " " + file, file);
    for (const std::string& line : CertificateFacts::FromReport(report).Lines()) host.Out().Value(line);
    host.Out().Progress(done + " " + file);
    return 0;
}

}  // namespace

int CertInclude(Host& host, const std::string& file) {
    return IncludeStaged(host, file, &ExportApi::IncludePublicKey, "IncludePublicKey", "filed", true);
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
    const std::string report = engine->Report(
        [&](char* b) {
            return file.empty() ? api.GetReport(engine->get(), uid.c_str(), b)
                                : api.GetPublicKeyPropertiesByFile(engine->get(), path.c_str(), b);
        },
        file.empty() ? "GetReport " + uid : "GetPublicKeyPropertiesByFile " + file);
    host.Out().Value(ReportLines(report));
    return 0;
}

int CertUpdateCache(Host& host, const std::string& file) {
    const auto engine = host.Open();
    engine->Check(engine->Api().UpdateCertificateCash(engine->get(), ExistingFile(file).c_str()), "UpdateCertificateCash " + file);
    return 0;
}

int CrlInclude(Host& host, const std::string& file) {
    return IncludeStaged(host, file, &ExportApi::IncludeCRL, "IncludeCRL", "installed the CRL", false);
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

// cert list: what the installation's store holds: the certificates of correspondents, the CA
// certificates and the revocation lists, each certificate described by the library's report.
#include <algorithm>
#include <filesystem>

#include "certificate_facts.h"
#include "commands.h"
#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// Files: the regular files of a directory whose extension is one of extensions (any case),
// sorted by name.
std::vector<fs::path> Files(const std::string& dir, std::initializer_list<const char*> extensions) {
    std::vector<fs::path> files;
    std::error_code error;
    if (dir.empty() || !fs::is_directory(dir, error)) return files;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        std::string extension = entry.path().extension().string();
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (entry.is_regular_file(error) &&
            std::any_of(extensions.begin(), extensions.end(), [&](const char* e) { return extension == e; }))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Describe: the lines of one certificate file, or the library's reason it has none.
void Describe(Host& host, const Engine& engine, const std::string& kind, const fs::path& file) {
    const std::string path = file.string();
    host.Out().Value(kind + " " + Printable(path, 1024));
    try {
        const CertificateFacts facts = CertificateFacts::FromReport(engine.Report(
            [&](char* b) { return engine.Api().GetPublicKeyPropertiesByFile(engine.get(), path.c_str(), b); }, path));
        for (const std::string& line : facts.Lines()) host.Out().Value("    " + line);
        if (!facts.notBefore.empty() || !facts.notAfter.empty())
            host.Out().Value("    valid " + facts.notBefore + " to " + facts.notAfter);
    } catch (const Failure& e) {
        host.Out().Value("    unreadable: " + (e.Code() ? std::to_string(*e.Code()) + " " : "") + e.Text());
    }
}

// Directory: a directory parameter's value, else the key directory's sub-directory sub.
std::string Directory(const Engine& engine, const char* name, const std::string& keys, const char* sub) {
    const int index = ParamIndex(engine, name);
    const std::string value = index > 0 ? engine.ParamValue(index) : std::string();
    return !value.empty() || keys.empty() ? value : (fs::path(keys) / sub).string();
}

}  // namespace

int CertList(Host& host) {
    const auto engine = host.Open();
    const std::string keys = engine->ParamValue(ParamIndex(*engine, "PSEDir"));
    const std::string own = engine->ParamValue(ParamIndex(*engine, "CertificateFile"));
    std::error_code error;
    if (!own.empty() && fs::is_regular_file(own, error)) Describe(host, *engine, "own", own);
    // Correspondents' certificates are UID.pem (UID.cer when there is none); UID.001 … are backups.
    for (const fs::path& file : Files(engine->ParamValue(ParamIndex(*engine, "CertificateDir")), {".pem", ".cer"}))
        Describe(host, *engine, "certificate " + Printable(file.stem().string()), file);
    for (const fs::path& file : Files(Directory(*engine, "CADir", keys, "CA"), {".pem", ".cer", ".crt"}))
        Describe(host, *engine, "CA", file);
    for (const fs::path& file : Files(Directory(*engine, "CRLDir", keys, "CRL"), {".pem", ".crl"}))
        host.Out().Value("CRL " + Printable(file.string(), 1024));
    return 0;
}

}  // namespace vorlan::cli

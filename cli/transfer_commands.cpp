// transfer: public key transfers out of the store, into it, and read.
#include <cstdio>
#include <filesystem>

#include "certificate_facts.h"
#include "commands.h"
#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// TransferText: a transfer made by the library into a buffer of the transfer size.
std::string TransferText(const Engine& engine, const std::function<std::int32_t(char*)>& call, const std::string& what) {
    std::int32_t code = 0;
    const std::string text = Engine::Text(engine.TransferSize() + 1, [&](char* b) { code = call(b); });
    engine.Check(code, what);
    return text;
}

std::string OwnerOf(const Engine& engine, const std::string& transfer) {
    return engine.Uid([&](char* b) { return engine.Api().GetUIDByPublicKeyTransfer(engine.get(), transfer.c_str(), b); },
                      "GetUIDByPublicKeyTransfer");
}

std::string PropertiesOf(const Engine& engine, const std::string& transfer) {
    return engine.Report(
        [&](char* b) { return engine.Api().GetPublicKeyPropertiesByTransfer(engine.get(), transfer.c_str(), b); },
        "GetPublicKeyPropertiesByTransfer");
}

}  // namespace

int TransferExport(Host& host, const std::string& uid, const std::string& out) {
    const auto engine = host.Open();
    const ExportApi& api = engine->Api();
    const std::string text = TransferText(*engine, [&](char* b) {
        return uid.empty() ? api.ExcludeSelfPublicKeyTransfer(engine->get(), b) : api.GetPublicKeyTransfer(engine->get(), uid.c_str(), b);
    }, uid.empty() ? "ExcludeSelfPublicKeyTransfer" : "GetPublicKeyTransfer " + uid);
    WriteOutput(out, text + "\n", Contents::Public);
    host.Out().Progress("transfer of " + Printable(uid.empty() ? engine->CurrentUser() : uid) + "'s certificate");
    return 0;
}

int TransferImport(Host& host, const std::string& transfer) {
    const auto engine = host.Open();
    const std::string text = ReadTransfer(transfer, engine->TransferSize());
    const std::string uid = OwnerOf(*engine, text);
    const CertificateFacts facts = CertificateFacts::FromReport(PropertiesOf(*engine, text));
    engine->Check(engine->Api().IncludePublicKeyTransfer(engine->get(), text.c_str()), "IncludePublicKeyTransfer " + transfer);
    host.Out().Value(Printable(uid));
    for (const std::string& line : facts.Lines()) host.Out().Value(line);
    return 0;
}

int TransferShow(Host& host, const std::string& transfer) {
    const auto engine = host.Open();
    const std::string text = ReadTransfer(transfer, engine->TransferSize());
    const std::string uid = OwnerOf(*engine, text);
    const std::string properties = PropertiesOf(*engine, text);
    host.Out().Value("Owner=" + Printable(uid));
    host.Out().Value(ReportLines(properties));
    return 0;
}

int TransferSave(Host& host, const std::string& transfer, const std::string& directory, const std::string& name) {
    const auto engine = host.Open();
    const std::string text = ReadTransfer(transfer, engine->TransferSize());
    std::error_code error;
    if (!fs::is_directory(directory, error)) throw Failure("no directory " + directory);
    const fs::path dir = fs::absolute(directory);
    engine->Check(engine->Api().SavePublicKeyFromTransfer(engine->get(), dir.string().c_str(), text.c_str()),
                  "SavePublicKeyFromTransfer " + transfer);
    fs::path saved = fs::path(directory) / "Tmp_cert.pem";
    if (!name.empty()) {
        const fs::path target = fs::path(directory) / fs::path(name).filename();
        fs::rename(saved, target, error);
        if (error) throw Failure("cannot rename " + saved.string() + " to " + target.string() + ": " + error.message());
        saved = target;
    }
    host.Out().Value(saved.string());
    return 0;
}

int TransferFromFile(Host& host, const std::string& file, const std::string& out) {
    const auto engine = host.Open();
    const std::string path = ExistingFile(file);
    const std::string text = TransferText(*engine, [&](char* b) {
        return engine->Api().GetPublicKeyTransferByFile(engine->get(), b, path.c_str());
    }, "GetPublicKeyTransferByFile " + file);
    WriteOutput(out, text + "\n", Contents::Public);
    return 0;
}

int TransferMatch(Host& host, const std::string& certificateTransfer, const std::string& requestTransfer) {
    const auto engine = host.Open();
    const std::string certificate = ReadTransfer(certificateTransfer, engine->TransferSize());
    const std::string request = ReadTransfer(requestTransfer, engine->TransferSize());
    std::int32_t match = 0;
    engine->Check(engine->Api().CertAndRequestTransferMatch(engine->get(), certificate.c_str(), request.c_str(), &match),
                  "CertAndRequestTransferMatch");
    if (match == 0) {
        std::fprintf(stderr, "vorlan: the certificate of %s does not answer the request of %s\n",
                     certificateTransfer.c_str(), requestTransfer.c_str());
        return 1;
    }
    host.Out().Value("match");
    return 0;
}

}  // namespace vorlan::cli

// request and renew: certificate requests for the key container, and key renewal by the
// step protocol of RemoteGenerateStartEx / RemoteGenerateFinishEx.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <vector>

#include "commands.h"
#include "data_files.h"
#include "failure.h"
#include "host_system.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

constexpr int kOwnCertificate = 1;
constexpr int kRequestFile = 9;
constexpr int kBackupDir = 23;
constexpr char kLastStep[] = "LAST STEP";

// KeyGenerator: the utility of the settings, run with DIRECTORY KIND; else vorlan-keygen
// beside vorlan (else on PATH), which also moves the container of the last renewal aside.
std::pair<std::string, std::vector<std::string>> KeyGenerator(const Installation& installation, const std::string& dir,
                                                              const std::string& kind) {
    if (const auto configured = installation.Config().Get(kKeyGeneratorKey); configured && !configured->empty())
        return {*configured, {dir, kind}};
    const std::string name = std::string("vorlan-keygen") + host::ExecutableSuffix();
    const fs::path beside = fs::path(host::ExecutablePath()).parent_path() / name;
    std::error_code error;
    return {fs::exists(beside, error) ? beside.string() : name, {"--force", dir, kind}};
}

// KeyKind: "gost" or "rsa", the kind of the current certificate's key (its report's key
// algorithm), so that the new keys are of the kind the CA certifies for this user.
std::string KeyKind(const Engine& engine) {
    const std::string own = engine.ParamValue(kOwnCertificate);
    if (own.empty()) throw Failure("no own certificate (parameter 1): nothing to renew");
    const std::string report = engine.Report(
        [&](char* b) { return engine.Api().GetPublicKeyPropertiesByFile(engine.get(), own.c_str(), b); },
        "GetPublicKeyPropertiesByFile " + own);
    const auto at = report.find("PKeyAlg=");
    std::string algorithm = at == std::string::npos ? "" : report.substr(at + 8, report.find('\r', at) - at - 8);
    for (char& c : algorithm) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (algorithm.find("gost") != std::string::npos) return "gost";
    if (algorithm.find("rsa") != std::string::npos) return "rsa";
    throw Failure("the key of " + own + " is neither GOST nor RSA (\"" + Printable(algorithm) + "\"): no keys of its kind can be made");
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// StepProtocol: the host's side of RemoteGenerateStartEx: the step number and the marker
// buffer kept across the calls, each call checked for its code and the step it leads to.
class StepProtocol {
public:
    StepProtocol(const Engine& engine, const Console& console, const std::string& name, std::int32_t first)
        : engine_(engine), console_(console), name_(name), marker_(engine.TransferSize() + 16, '\0'), step_(first) {}

    // Next: one call; throws Failure when it fails or leaves another step than expected.
    void Next(std::int32_t expected, const std::string& done) {
        const std::int32_t from = step_;
        const std::int32_t code =
            engine_.Api().RemoteGenerateStartEx(engine_.get(), name_.empty() ? nullptr : name_.c_str(), marker_.data(), &step_);
        marker_.back() = '\0';
        engine_.Check(code, "RemoteGenerateStartEx at step " + std::to_string(from));
        if (step_ != expected)
            throw Failure("RemoteGenerateStartEx went from step " + std::to_string(from) + " to " + std::to_string(step_) +
                          ", not to " + std::to_string(expected));
        console_.Progress("renew: step " + std::to_string(from) + " -> " + std::to_string(step_) + ": " + done);
    }
    std::string Marker() const { return marker_.data(); }

private:
    const Engine& engine_;
    const Console& console_;
    std::string name_;
    std::vector<char> marker_;
    std::int32_t step_;
};

}  // namespace

int Request(Host& host, const std::string& out) {
    const auto engine = host.Open();
    if (!out.empty()) {
        const std::string path = fs::absolute(out).string();
        engine->Check(engine->Api().SetCryptoParamValue(engine->get(), kRequestFile, path.c_str()), "RequestFile = " + path);
    }
    const std::string file = engine->ParamValue(kRequestFile);
    if (file.empty()) throw Failure("no request file: give -o FILE or set the RequestFile parameter");
    engine->Check(engine->Api().GenerateNewSEK(engine->get()), "GenerateNewSEK");
    host.Out().Progress("request written to " + file);
    return 0;
}

int Renew(Host& host, const std::string& name, bool fromParams, const std::string& out) {
    const Installation installation = host.Install();
    const auto engine = installation.Open();
    const std::string backup = engine->ParamValue(kBackupDir);
    if (backup.empty()) throw Failure("no PSE backup directory: set parameter 23, where the new keys are made");
    if (installation.Config().Get(kRemoteGenerateKey).value_or("").empty())
        throw Failure(std::string("no remote generation directory: set ") + kRemoteGenerateKey);
    const auto [keygen, arguments] = KeyGenerator(installation, backup, KeyKind(*engine));

    const std::int32_t family = fromParams ? 10 : 0;
    StepProtocol protocol(*engine, host.Out(), name, family);
    protocol.Next(family + 2, "started");
    protocol.Next(family + 3, "current keys checked; key changes locked out");
    protocol.Next(family + 5, "current key container backed up");
    const host::ProgramRun run = host::RunProgram(keygen, arguments);
    if (run.exitCode != 0)
        throw Failure("the key generation utility " + keygen + " failed" +
                      (run.exitCode < 0 ? std::string(" to start") : " with exit code " + std::to_string(run.exitCode)));
    host.Out().Progress("renew: " + keygen + ": " + Printable(Trimmed(run.output), 400));
    protocol.Next(family + 2, "request for the new keys made");
    if (protocol.Marker() != kLastStep) throw Failure("RemoteGenerateStartEx did not mark the last step");
    protocol.Next(1, "new keys packed, request transfer signed with the current key");
    WriteOutput(out, protocol.Marker() + "\n", Contents::Public);
    return 0;
}

int RenewFinish(Host& host, const std::string& transfer) {
    const auto engine = host.Open();
    const std::string text = ReadTransfer(transfer, engine->TransferSize());
    std::int32_t step = 0;
    for (const std::int32_t expected : {2, 1}) {
        const std::int32_t from = step;
        engine->Check(engine->Api().RemoteGenerateFinishEx(engine->get(), text.c_str(), &step),
                      "RemoteGenerateFinishEx at step " + std::to_string(from));
        if (step != expected)
            throw Failure("RemoteGenerateFinishEx went from step " + std::to_string(from) + " to " + std::to_string(step));
    }
    host.Out().Progress("renew: the new certificate and keys of " + engine->CurrentUser() + " are installed");
    return 0;
}

}  // namespace vorlan::cli

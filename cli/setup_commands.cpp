// init, params, error and info: making an installation and looking at the library.
#include <cstdio>
#include <filesystem>
#include <map>
#include <utility>

#include "commands.h"
#include "data_files.h"
#include "failure.h"
#include "host_system.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// Parameter numbers the host fills in a new installation.
enum : int {
    kOwnCertificate = 1,
    kCertificateDir = 2,
    kPSEDir = 3,
    kCipher = 4,
    kSignature = 5,
    kKeySize = 6,
    kRequestFile = 9,
    kBackupDir = 23,
    kTitle = 24,
};
// CreateDirStructure reads no more of its CA list.
constexpr std::size_t kMaxCAList = 255;
// The toolkit plug-ins the library loads, by file name on this platform.
#if defined(_WIN32)
constexpr const char* kPluginFiles[] = {"mplugf.dll", "mplug.dll", "mplug2.dll"};
#define MPRO_INFO_CALL __stdcall
#else
constexpr const char* kPluginFiles[] = {"mplugf.so", "mplug.so", "mplug2.so"};
#define MPRO_INFO_CALL
#endif

// Subject tags of --subject and the parameters that hold them.
const std::map<std::string, int> kSubjectParams = {
    {"C", 11}, {"ST", 12}, {"S", 12}, {"SP", 12}, {"L", 13}, {"O", 14}, {"OU", 15}, {"CN", 16},
    {"E", 17}, {"EMAIL", 17}, {"EMAILADDRESS", 17}, {"T", kTitle}};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// SubjectFields: "/C=RU/O=Bank/CN=USER01" as (parameter, value) pairs; "\/" is a slash in a value.
std::vector<std::pair<int, std::string>> SubjectFields(const std::string& subject) {
    if (subject.empty() || subject[0] != '/') throw UsageError("--subject starts with \"/\", as /C=RU/O=Bank/CN=USER01");
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < subject.size(); ++i) {
        if (subject[i] == '\\' && i + 1 < subject.size()) {
            parts.back() += subject[++i];
        } else if (subject[i] == '/') {
            parts.emplace_back();
        } else {
            parts.back() += subject[i];
        }
    }
    std::vector<std::pair<int, std::string>> fields;
    for (const std::string& part : parts) {
        const auto equals = part.find('=');
        const auto found = equals == std::string::npos ? kSubjectParams.end() : kSubjectParams.find(Upper(part.substr(0, equals)));
        if (found == kSubjectParams.end())
            throw UsageError("--subject: \"" + part + "\" is not TAG=value with a tag of C, ST, L, O, OU, CN, E, T");
        fields.emplace_back(found->second, part.substr(equals + 1));
    }
    return fields;
}

void DefaultSettings(Settings& settings, const Engine& probe) {
    settings.Comment("vorlan installation: engine parameters by number or by name (\"vorlan params\" lists them)");
    settings.Comment("and the host's own settings; relative paths are taken from this directory.");
    const std::pair<int, const char*> defaults[] = {
        {kOwnCertificate, "own.pem"}, {kCertificateDir, "certs"}, {kPSEDir, "keys"}, {kRequestFile, "request.pem"}};
    for (const auto& [index, value] : defaults) SetParam(settings, probe, index, value);
    settings.Comment("the PSE backup directory, where key renewal has the key generation utility make new keys");
    SetParam(settings, probe, kBackupDir, "backup");
    settings.Set(kRemoteGenerateKey, "renew");
}

// CreateDirectory: a directory and its missing parents, each one made the owner's alone.
void CreateDirectory(const std::string& path) {
    fs::path made;
    for (const fs::path& part : fs::absolute(path).lexically_normal()) {
        made /= part;
        if (part.empty() || made == made.root_path()) continue;
        if (const std::string why = host::MakePrivateDirectory(made.string()); !why.empty())
            throw Failure("cannot create " + made.string() + ": " + why);
    }
}

std::string KindName(std::int32_t kind) {
    switch (kind) {
        case 1: return "number";
        case 2: return "text";
        case 4: return "list";
        case 7: return "choice";
        case 10: return "file";
        case 11: return "directory";
        default: return "kind " + std::to_string(kind);
    }
}

// ToolkitDescription: the plug-in the library loaded, and what it says it runs on.
std::string ToolkitDescription() {
    using Describe = std::int32_t(MPRO_INFO_CALL*)(char*, std::int32_t);
    for (const char* file : kPluginFiles) {
        const host::LoadedModule plugin = host::FindLoadedModule(file, "VorlanToolkitInfo");
        if (plugin.path.empty()) continue;
        std::string text = plugin.path;
        if (plugin.symbol == nullptr) return text + " (it does not say what it runs on)";
        char info[1024] = {};
        reinterpret_cast<Describe>(plugin.symbol)(info, sizeof info);
        return text + "\n             " + Printable(info, sizeof info);
    }
    return "no plug-in loaded";
}

std::string OneLine(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, "|");
    return text;
}

}  // namespace

int Init(Host& host, const InitOptions& options) {
    const fs::path root = host.Root();
    CreateDirectory(root.string());
    const fs::path file = root / kSettingsFileName;
    std::error_code error;
    const bool existing = fs::exists(file, error);
    Settings settings = existing ? Settings::Load(file) : Settings();
    {
        const Engine probe(host.Lib().Api());
        if (!existing) DefaultSettings(settings, probe);
        if (options.rsa) {
            SetParam(settings, probe, kCipher, "DES-EDE3-CBC");
            SetParam(settings, probe, kSignature, "SHA1");
            SetParam(settings, probe, kKeySize, "2048");
        } else if (options.gost || !existing) {
            SetParam(settings, probe, kCipher, "RUS-GAMMAR");
            SetParam(settings, probe, kSignature, "R3410-R3411");
        }
        if (!options.subject.empty()) {
            for (const auto& [index, value] : SubjectFields(options.subject)) {
                if (index > probe.ParamCount()) throw UsageError("--subject: this toolkit has no parameter for T");
                SetParam(settings, probe, index, value);
            }
        }
    }
    const Installation installation(host.Lib(), root, std::move(settings));
    const auto engine = installation.Open();  // the library checks every value before the file is written
    installation.Save();
    for (int i = 1; i <= engine->ParamCount(); ++i) {
        const std::string value = engine->ParamValue(i);
        if (!value.empty() && KindOf(*engine, i).kind == 11) CreateDirectory(value);
    }
    if (const auto remote = installation.Config().Get(kRemoteGenerateKey); remote && !remote->empty())
        CreateDirectory(installation.Resolved(*remote));
    host.Out().Progress("installation at " + root.string());
    if (options.certificate.empty()) return 0;

    std::string caList;
    for (const std::string& ca : options.caFiles) caList += (caList.empty() ? "" : ";") + ExistingFile(ca);
    if (caList.size() > kMaxCAList)
        throw Failure("the CA file paths are longer than the library reads (" + std::to_string(kMaxCAList) +
                      " characters): give shorter paths");
    const std::string certificate = ExistingFile(options.certificate);
    engine->Check(engine->Api().CreateDirStructure(engine->get(), certificate.c_str(), caList.c_str()),
                  "CreateDirStructure");
    host.Out().Progress("laid out for " + engine->CurrentUser() + " with " + std::to_string(options.caFiles.size()) +
                        " CA certificate(s)");
    return 0;
}

int ParamsList(Host& host) {
    const Installation installation = host.Install();
    const auto engine = installation.Open();
    for (int i = 1; i <= engine->ParamCount(); ++i) {
        const ParamKind kind = KindOf(*engine, i);
        char line[160];
        std::snprintf(line, sizeof line, "%2d  %-20.40s %-9s %-28.60s ", i, engine->ParamName(i).c_str(),
                      KindName(kind.kind).c_str(), OneLine(kind.hint).c_str());
        host.Out().Value(line + engine->ParamValue(i));
    }
    for (const char* key : {kRemoteGenerateKey, kKeyGeneratorKey}) {
        char line[160];
        std::snprintf(line, sizeof line, "    %-20s %-9s %-28s ", key, "host", "");
        host.Out().Value(line + installation.Config().Get(key).value_or(""));
    }
    return 0;
}

int ParamsGet(Host& host, const std::string& key) {
    const Installation installation = host.Install();
    if (IsHostKey(key)) {
        host.Out().Value(installation.Config().Get(key).value_or(""));
        return 0;
    }
    const auto engine = installation.Open();
    const int index = ParamIndex(*engine, key);
    if (index == 0) throw UsageError("no parameter \"" + key + "\" (\"vorlan params\" lists them)");
    host.Out().Value(engine->ParamValue(index));
    return 0;
}

int ParamsSet(Host& host, const std::string& key, const std::string& value) {
    Installation installation = host.Install();
    if (IsHostKey(key)) {
        installation.Config().Set(key, value);
    } else {
        const int index = ParamIndex(*installation.Open(), key);
        if (index == 0) throw UsageError("no parameter \"" + key + "\" (\"vorlan params\" lists them)");
        SetParam(installation.Config(), *installation.Open(), index, value);
    }
    installation.Open();  // the library takes the new value before it is written down
    installation.Save();
    return 0;
}

int ErrorText(Host& host, std::int32_t code) {
    const Engine engine(host.Lib().Api());
    const std::string text = engine.CodeText(code);
    if (text.empty()) throw Failure("the library has no text for " + std::to_string(code));
    host.Out().Value(text);
    return 0;
}

int Info(Host& host) {
    const Library& library = host.Lib();
    const Engine engine(library.Api());
    const ExportApi& api = library.Api();
    const VORLAN_HANDLE h = engine.get();
    const auto n = [](std::int32_t value) { return std::to_string(value); };
    host.Out().Value("vorlan       " VORLAN_VERSION);
    host.Out().Value("library      " + library.Path() + " (" + n(library.ExportsFound()) + " of " +
                     n(Library::ExportsListed()) + " exports)");
    const std::int32_t type = api.GetRemoteGenType(h);
    host.Out().Value("engine       remote key generation type " + n(type) +
                     (type == 3 ? " (PSE engine: keys in a personal security environment, renewal by steps)" : ""));
    const std::int32_t parameters = api.GetCryptoParamNumber(h);  // loads the plug-in
    host.Out().Value("toolkit      " + ToolkitDescription() + (parameters > 0 ? ", " + n(parameters) + " parameters" : ""));
    if (parameters <= 0) engine.ParamCount();  // says why there is no toolkit
    host.Out().Value("sizes        UID " + n(api.GetMaxUIDLength(h)) + ", parameter name " +
                     n(api.GetMaxCryptoParamNameLength(h)) + ", parameter value " +
                     n(api.GetMaxCryptoParamValueLength(h)) + ", error text " + n(api.GetMaxErrorStringLength(h)) +
                     ", password " + n(api.GetMaxPasswordLength(h)) + ", file path " + n(api.GetMaxFilePathLength(h)));
    host.Out().Value("             encryption adds " + n(api.GetMaxEncodeAddition(h)) + ", signature " +
                     n(api.GetMaxSignatureLength(h)) + ", attached signature adds " + n(api.GetMaxSignAddition(h)) +
                     ", transfer " + n(api.GetMaxPublicKeyTransferSize(h)) + ", report " + n(api.GetMaxReportSize(h)));
    if (!host.HasRoot()) return 0;
    const Installation installation = host.Install();
    const auto configured = installation.Open();
    std::string user;
    try {
        user = "user " + configured->CurrentUser();
    } catch (const Failure& e) {
        user = "no user yet (" + (e.Code() ? n(*e.Code()) + " " : "") + e.Text() + ")";
    }
    host.Out().Value("installation " + installation.Root().string() + ", " + user);
    return 0;
}

}  // namespace vorlan::cli

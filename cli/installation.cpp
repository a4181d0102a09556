#include "installation.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "data_files.h"
#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

bool SameText(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Kinds of GetParamInfo with a value vorlan can check.
constexpr std::int32_t kKindNumber = 1, kKindText = 2, kKindList = 4, kKindChoice = 7;

}  // namespace

ParamKind KindOf(const Engine& engine, int index) {
    ParamKind kind;
    std::int32_t length = 0;
    engine.Check(engine.Api().GetParamInfo(engine.get(), index, &kind.kind, nullptr, &length), "GetParamInfo");
    kind.hint = Engine::Text(Engine::Room(length, "GetParamInfo"), [&](char* b) {
        engine.Check(engine.Api().GetParamInfo(engine.get(), index, &kind.kind, b, &length), "GetParamInfo");
    });
    return kind;
}

int ParamIndex(const Engine& engine, const std::string& key) {
    const int count = engine.ParamCount();
    if (AllDigits(key)) {
        const int index = key.size() <= 4 ? std::atoi(key.c_str()) : 0;
        return index >= 1 && index <= count ? index : 0;
    }
    for (int i = 1; i <= count; ++i)
        if (SameText(engine.ParamName(i), key)) return i;
    return 0;
}

bool IsHostKey(const std::string& key) { return SameText(key, kRemoteGenerateKey) || SameText(key, kKeyGeneratorKey); }

void CheckParamValue(const Engine& engine, int index, const std::string& value) {
    if (value.empty()) return;  // the parameter's default
    const ParamKind kind = KindOf(engine, index);
    const std::string name = engine.ParamName(index);
    const auto [low, high] = [&] {
        const auto dots = kind.hint.find("..");
        const std::string upper = dots == std::string::npos ? kind.hint : kind.hint.substr(dots + 2);
        const std::string lower = dots == std::string::npos ? "0" : kind.hint.substr(0, dots);
        return std::pair(AllDigits(lower) && lower.size() < 19 ? std::stoll(lower) : 0LL,
                         AllDigits(upper) && upper.size() < 19 ? std::stoll(upper) : -1LL);
    }();
    if (kind.kind == kKindNumber) {
        if (!AllDigits(value) || value.size() > 18 || (high >= 0 && (std::stoll(value) < low || std::stoll(value) > high)))
            throw UsageError(name + " takes a number" +
                             (high >= 0 ? " from " + std::to_string(low) + " to " + std::to_string(high) : "") + ", not \"" +
                             value + "\"");
    } else if (kind.kind == kKindText || kind.kind == kKindList) {
        if (high >= 0 && static_cast<long long>(value.size()) > high)
            throw UsageError(name + " takes at most " + std::to_string(high) + " characters");
    } else if (kind.kind == kKindChoice) {
        std::string choices = kind.hint;
        for (std::size_t at; (at = choices.find("\r\n")) != std::string::npos;) choices.replace(at, 2, "|");
        bool known = false;
        for (std::size_t at = 0; at <= choices.size();) {
            const std::size_t end = std::min(choices.find('|', at), choices.size());
            known = known || SameText(choices.substr(at, end - at), value);
            at = end + 1;
        }
        if (!known) throw UsageError(name + " is one of " + choices + ", not \"" + value + "\"");
    }
}

void SetParam(Settings& settings, const Engine& engine, int index, const std::string& value) {
    CheckParamValue(engine, index, value);
    std::optional<int> line;
    for (const SettingsEntry& entry : settings.Entries())
        if (!IsHostKey(entry.key) && ParamIndex(engine, entry.key) == index) line = entry.line;
    const std::string name = engine.ParamName(index);
    settings.Set(name.empty() ? std::to_string(index) : name, value, line);
}

fs::path Installation::RootFrom(const std::string& option) {
    std::string root = option;
    if (root.empty()) {
        const char* variable = std::getenv(kRootVariable);
        root = variable != nullptr ? variable : "";
    }
    if (root.empty())
        throw UsageError(std::string("no installation: give --root DIR or set ") + kRootVariable);
    return fs::absolute(fs::path(root)).lexically_normal();
}

Installation::Installation(const Library& library, fs::path root) : library_(library), root_(std::move(root)) {
    const fs::path file = root_ / kSettingsFileName;
    std::error_code error;
    if (!fs::exists(file, error))
        throw Failure("no installation at " + root_.string() + " (no " + kSettingsFileName + "): run \"vorlan --root " +
                      root_.string() + " init\" first");
    settings_ = Settings::Load(file);
}

Installation::Installation(const Library& library, fs::path root, Settings settings)
    : library_(library), root_(std::move(root)), settings_(std::move(settings)) {}

std::string Installation::Resolved(const std::string& value) const {
    static const std::string kMacro = "%ZELRoot%";
    if (value.empty() || SameText(value.substr(0, kMacro.size()), kMacro)) return value;
    const fs::path path(value);
    if (path.is_absolute()) return value;
    return (root_ / path).lexically_normal().make_preferred().string();
}

std::unique_ptr<Engine> Installation::Open() const {
    auto engine = std::make_unique<Engine>(library_.Api());
    const ExportApi& api = library_.Api();
    api.SetRootPath(engine->get(), (root_.string() + static_cast<char>(fs::path::preferred_separator)).c_str());
    const std::string file = kSettingsFileName;
    for (const SettingsEntry& entry : settings_.Entries()) {
        const std::string where = file + " line " + std::to_string(entry.line) + ": " + entry.key + " = " + entry.value;
        if (SameText(entry.key, kRemoteGenerateKey)) {
            api.SetRemoteGeneratePath(engine->get(), Resolved(entry.value).c_str());
            continue;
        }
        if (IsHostKey(entry.key)) continue;
        const int index = ParamIndex(*engine, entry.key);
        if (index == 0) throw Failure(file + " line " + std::to_string(entry.line) + ": no parameter \"" + entry.key + "\"");
        const std::string value = KindOf(*engine, index).PathLike() ? Resolved(entry.value) : entry.value;
        engine->Check(api.SetCryptoParamValue(engine->get(), index, value.c_str()), where);
    }
    return engine;
}

void Installation::Save() const {
    WriteOutput((root_ / kSettingsFileName).string(), settings_.Text(), Contents::Private);
}

}  // namespace vorlan::cli

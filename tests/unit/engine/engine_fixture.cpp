#include "engine_fixture.h"

#include <algorithm>
#include <atomic>
#include <random>

#include "binding/mpro_dll.h"
#include "pse/pse_lock.h"
#include "support/file_utils.h"
#include "support/zel_root.h"

namespace vorlan::test {

namespace {

// The fake variant's installation root: <bin>\fake\<variant>\, the tests live in <bin>\engine_tests\.
std::string VariantRoot() {
    std::string path = platform::HostExecutablePath();
    for (int i = 0; i < 2; ++i) path = path.substr(0, path.find_last_of("\\/"));
    return path + "\\fake\\" + FakeVariant() + "\\";
}

// The process-wide modules the library sets up at load; the root selects the fake variant.
class ModulesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ZELRootModuleLoad();
        SetZELRoot(VariantRoot());
        BindingModuleLoad();
        PSEModuleLoad();
    }
    void TearDown() override {
        PSEModuleUnload();
        BindingModuleUnload();
    }
};

const auto* const kModules = ::testing::AddGlobalTestEnvironment(std::make_unique<ModulesEnvironment>().release());

}  // namespace

std::string FakeVariant() {
    auto variant = platform::GetEnv("VORLAN_FAKE_VARIANT");
    return variant && !variant->empty() ? *variant : std::string("complete");
}

FakeToolkit::FakeToolkit(const std::string& moduleName)
    : module_(platform::LoadModule(VariantRoot() + "EXE\\" + moduleName)) {
    if (module_ == nullptr) return;
    reset_ = Resolve<fake::FnReset>("FakeScript_Reset");
    setResult_ = Resolve<fake::FnSetResult>("FakeScript_SetResult");
    setText_ = Resolve<fake::FnSetText>("FakeScript_SetText");
    setThrow_ = Resolve<fake::FnSetThrow>("FakeScript_SetThrow");
    setLogging_ = Resolve<fake::FnSetLogging>("FakeScript_SetLogging");
    setRecordField_ = Resolve<fake::FnSetRecordField>("FakeScript_SetRecordField");
    callLog_ = Resolve<fake::FnCallLog>("FakeScript_CallLog");
    callCount_ = Resolve<fake::FnCallCount>("FakeScript_CallCount");
}

template <class Fn>
Fn FakeToolkit::Resolve(const char* name) {
    auto* symbol = platform::ModuleSymbol(module_, name);
    if (symbol == nullptr) module_ = nullptr;
    return reinterpret_cast<Fn>(symbol);
}

std::vector<std::string> FakeToolkit::Calls(const std::string& function) {
    std::string log(static_cast<std::size_t>(callLog_(nullptr, 0)) + 1, '\0');
    log.resize(static_cast<std::size_t>(callLog_(log.data(), static_cast<std::int32_t>(log.size()))));
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < log.size();) {
        std::size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(pos, end - pos);
        if (line.compare(0, function.size() + 1, function + "|") == 0) lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

std::vector<std::string> FakeToolkit::ParamsOf(const std::string& context) {
    std::vector<std::string> values;
    for (const auto& line : Calls("SetCryptoParamValue")) {
        if (Field(line, 1) != context) continue;
        const auto index = static_cast<std::size_t>(std::stoi(Field(line, 2)));
        if (values.size() <= index) values.resize(index + 1);
        values[index] = Field(line, 3);
    }
    return values;
}

std::string Field(const std::string& line, std::size_t n) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        start = line.find('|', start);
        if (start == std::string::npos) return {};
        ++start;
    }
    const auto end = line.find('|', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

FakeToolkit& EngineTest::Fake() {
    static FakeToolkit fake("mplugf.dll");
    return fake;
}

void EngineTest::SetUp() {
    ASSERT_TRUE(Fake().Available()) << "no fake toolkit under " << VariantRoot();
    static std::atomic<int> counter{0};
    root_ = platform::TempDirectory() + "vorlan_engine_" + std::to_string(std::random_device{}()) + "_" +
            std::to_string(counter++) + "\\";
    ASSERT_TRUE(CreateDirectoryPath(root_ + "certs"));
    engine_ = std::make_unique<TMProWinCryptoEngine>();
    engine_->SetRootPath(root_);
    // Contexts cached by earlier tests are closed before the log starts.
    engine_->ClearCash();
    Fake().Reset();
    Fake().SetResult("CertificateAndPSePrivateKeyMatch", 1);  // the key container is the own certificate's
    ASSERT_EQ(engine_->SetCryptoParamValue(2, (root_ + "certs").c_str()), 0);
}

void EngineTest::TearDown() {
    engine_.reset();
    DeleteDirectory(root_, true);
}

void EngineTest::WriteFile(const std::string& relative, const std::string& content) {
    ASSERT_TRUE(platform::WriteWholeFile(Path(relative), content.data(), content.size())) << relative;
}

std::string EngineTest::ReadFile(const std::string& relative) const {
    return platform::ReadWholeFile(Path(relative)).value_or("<missing>");
}

bool EngineTest::Exists(const std::string& relative) const { return platform::FileExists(Path(relative)); }

std::vector<std::string> EngineTest::Listing() const {
    std::vector<std::string> names;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        for (const auto& entry : platform::Enumerate(root_ + dir + "*.*")) {
            if (entry.name == "." || entry.name == "..") continue;
            names.push_back(dir + entry.name);
            if (entry.attributes & platform::kAttrDirectory) pending.push_back(dir + entry.name + "\\");
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vorlan::test

// The binding suite's fixture and its process-wide environment (installation root set
// to the fake variant's directory).
#include "fake_fixture.h"

#include <memory>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "support/zel_root.h"

namespace vorlan::test {
namespace {

template <class Fn>
Fn Symbol(platform::ModuleHandle module, const char* name) {
    auto fn = reinterpret_cast<Fn>(platform::ModuleSymbol(module, name));
    if (!fn) ADD_FAILURE() << "fake toolkit lacks " << name;
    return fn;
}

// The root of the variant: <bin>\fake\<variant>\, where the tests live in <bin>\binding_tests\.
std::string VariantRoot() {
    std::string path = platform::HostExecutablePath();
    for (int i = 0; i < 2; ++i) path = path.substr(0, path.find_last_of("\\/"));
    return path + "\\fake\\" + FakeVariant() + "\\";
}

class FakeRootEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ZELRootModuleLoad();
        SetZELRoot(VariantRoot());
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(std::make_unique<FakeRootEnvironment>().release());

}  // namespace

std::string FakeVariant() {
    auto variant = platform::GetEnv("VORLAN_FAKE_VARIANT");
    return variant && !variant->empty() ? *variant : std::string("complete");
}

FakeToolkit::FakeToolkit(platform::ModuleHandle module)
    : Reset(Symbol<fake::FnReset>(module, "FakeScript_Reset")),
      SetResult(Symbol<fake::FnSetResult>(module, "FakeScript_SetResult")),
      SetText(Symbol<fake::FnSetText>(module, "FakeScript_SetText")),
      SetDelayMs(Symbol<fake::FnSetDelayMs>(module, "FakeScript_SetDelayMs")),
      SetRendezvous(Symbol<fake::FnSetRendezvous>(module, "FakeScript_SetRendezvous")),
      SetThrow(Symbol<fake::FnSetThrow>(module, "FakeScript_SetThrow")),
      SetLogging(Symbol<fake::FnSetLogging>(module, "FakeScript_SetLogging")),
      CallLogRaw(Symbol<fake::FnCallLog>(module, "FakeScript_CallLog")),
      CallCount(Symbol<fake::FnCallCount>(module, "FakeScript_CallCount")),
      MaxConcurrency(Symbol<fake::FnMaxConcurrency>(module, "FakeScript_MaxConcurrency")),
      OpenContexts(Symbol<fake::FnOpenContexts>(module, "FakeScript_OpenContexts")),
      SetRecordField(Symbol<fake::FnSetRecordField>(module, "FakeScript_SetRecordField")) {}

std::vector<std::vector<std::string>> FakeToolkit::Calls(const std::string& function) const {
    std::string log(static_cast<std::size_t>(CallLogRaw(nullptr, 0)) + 1, '\0');
    CallLogRaw(log.data(), static_cast<std::int32_t>(log.size()));
    std::vector<std::vector<std::string>> calls;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> fields;
        const std::string line = log.substr(start, end - start);
        std::size_t from = 0;
        for (std::size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1)
            fields.push_back(line.substr(from, bar - from));
        fields.push_back(line.substr(from));
        if (fields[0] == function) calls.push_back(std::move(fields));
    }
    return calls;
}

ParamVector Vector(std::initializer_list<std::pair<int, std::string>> entries) {
    ParamVector v(26);
    for (const auto& [index, value] : entries) v[static_cast<std::size_t>(index)] = value;
    return v;
}

void BindingTest::SetUp() {
    BindingModuleLoad();
    SetCacheClockForTests([this] { return now_; });
    binding_ = std::make_unique<TMProDLL>(variant_);
    ASSERT_TRUE(binding_->Loaded) << "fake plug-in not found for variant " << variant_;
    fake_ = std::make_unique<FakeToolkit>(PluginModule(variant_));
    fake_->Reset();
}

void BindingTest::TearDown() {
    binding_.reset();
    BindingModuleUnload();
    SetCacheClockForTests({});
}

void BindingTest::AdvanceSeconds(double seconds) { now_ += seconds * kDaysPerSecond; }

}  // namespace vorlan::test

// Engine tests against the fake toolkit: the fake's script controls, a temporary
// installation with a certificate directory, and a fresh PSE engine per test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_toolkit/fake_script.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"

namespace vorlan::test {

// FakeVariant: the fake variant of this process ("complete" unless VORLAN_FAKE_VARIANT names another).
std::string FakeVariant();

// FakeToolkit: the script controls of one loaded fake plug-in module.
class FakeToolkit {
public:
    // FakeToolkit: the module of the variant's root (the one the binding loads).
    explicit FakeToolkit(const std::string& moduleName);
    void Reset() { reset_(); }
    void SetResult(const char* function, std::int32_t result) { setResult_(function, result); }
    void SetText(const char* function, const char* text) { setText_(function, text); }
    void SetThrow(const char* function, bool enabled) { setThrow_(function, enabled ? 1 : 0); }
    void SetLogging(bool enabled) { setLogging_(enabled ? 1 : 0); }
    // SetRecordField: a text of the records GetCertInfoEx / GetReqInfo fill ("SN", "CN", "ICN"…).
    void SetRecordField(const char* field, const char* value) { setRecordField_(field, value); }
    std::int32_t CallCount(const char* function) { return callCount_(function); }
    // Calls: the logged lines of one function ("Name|ctx|arg…").
    std::vector<std::string> Calls(const std::string& function);
    // ParamsOf: the values SetCryptoParamValue gave a context, by zero-based index.
    std::vector<std::string> ParamsOf(const std::string& context);
    bool Available() const { return module_ != nullptr; }

private:
    template <class Fn>
    Fn Resolve(const char* name);
    platform::ModuleHandle module_ = nullptr;
    fake::FnReset reset_ = nullptr;
    fake::FnSetResult setResult_ = nullptr;
    fake::FnSetText setText_ = nullptr;
    fake::FnSetThrow setThrow_ = nullptr;
    fake::FnSetLogging setLogging_ = nullptr;
    fake::FnSetRecordField setRecordField_ = nullptr;
    fake::FnCallLog callLog_ = nullptr;
    fake::FnCallCount callCount_ = nullptr;
};

// Field: the n-th "|"-separated field of a log line (0: the function name).
std::string Field(const std::string& line, std::size_t n);

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Path: the temporary root + relative path (backslash separators).
    std::string Path(const std::string& relative) const { return root_ + relative; }
    void WriteFile(const std::string& relative, const std::string& content);
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Listing: every file and directory below the root (relative, "\\"-separated), sorted.
    std::vector<std::string> Listing() const;
    void UseUIDField(const char* field) { ASSERT_EQ(engine_->SetCryptoParamValue(20, field), 0); }

    static FakeToolkit& Fake();
    std::string root_;  // ends in a backslash
    std::unique_ptr<TMProWinCryptoEngine> engine_;
};

}  // namespace vorlan::test

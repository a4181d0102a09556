// Test fixture for the binding: a fake toolkit variant chosen per process, the binding
// module loaded per test, and typed access to the fake's script controls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "binding/mpro_dll.h"
#include "fake_toolkit/fake_script.h"
#include "platform/platform.h"

namespace vorlan::test {

// FakeVariant: the fake variant of this process ("complete" unless VORLAN_FAKE_VARIANT names another).
std::string FakeVariant();

// FakeToolkit: the script controls of a loaded fake plug-in.
struct FakeToolkit {
    explicit FakeToolkit(platform::ModuleHandle module);
    fake::FnReset Reset;
    fake::FnSetResult SetResult;
    fake::FnSetText SetText;
    fake::FnSetDelayMs SetDelayMs;
    fake::FnSetRendezvous SetRendezvous;
    fake::FnSetThrow SetThrow;
    fake::FnSetLogging SetLogging;
    fake::FnCallLog CallLogRaw;
    fake::FnCallCount CallCount;
    fake::FnMaxConcurrency MaxConcurrency;
    fake::FnOpenContexts OpenContexts;
    fake::FnSetRecordField SetRecordField;

    // Calls: the logged calls of one function, each split into name, context, arguments.
    std::vector<std::vector<std::string>> Calls(const std::string& function) const;
};

// A parameter vector of the fake's 26 entries, all empty except as set.
ParamVector Vector(std::initializer_list<std::pair<int, std::string>> entries = {});

// BindingTest: loads the binding module, creates a binding of the variant and resets the fake.
// Tests that need a particular fake variant call RequireVariant in their SetUp.
class BindingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Clock of the cache, in days; tests move it by seconds.
    void AdvanceSeconds(double seconds);

    std::int32_t variant_ = 1;
    double now_ = 45000.5;
    std::unique_ptr<TMProDLL> binding_;
    std::unique_ptr<FakeToolkit> fake_;
};

}  // namespace vorlan::test

// Skips the test unless this process runs the named fake variant.
#define REQUIRE_FAKE_VARIANT(name) \
    if (::vorlan::test::FakeVariant() != (name)) GTEST_SKIP() << "runs with fake variant " << (name)

// Shared state of the fake toolkit: scripted answers, the call log, open contexts and
// the count of threads inside, with the per-call guard every fake function starts with.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "binding/toolkit_api.h"

namespace fake {

enum Id : int {
#define FAKE_ID(name, type) id_##name,
    MPRO_REQUIRED_FUNCTIONS(FAKE_ID) MPRO_OPTIONAL_FUNCTIONS(FAKE_ID)
#undef FAKE_ID
    kFunctionCount
};

// FunctionId: the id of a toolkit function name, or -1.
int FunctionId(const char* name);

struct Script {
    std::mutex mutex;  // guards the non-atomic members
    std::condition_variable arrivedCv;
    std::array<std::atomic<bool>, kFunctionCount> hasResult{};
    std::array<std::atomic<std::int32_t>, kFunctionCount> result{};
    std::array<std::atomic<std::int32_t>, kFunctionCount> delayMs{};
    std::array<std::atomic<std::int32_t>, kFunctionCount> rendezvousThreads{};
    std::array<std::atomic<std::int32_t>, kFunctionCount> rendezvousTimeoutMs{};
    std::array<std::atomic<bool>, kFunctionCount> raises{};
    std::array<std::int32_t, kFunctionCount> arrived{};
    std::array<bool, kFunctionCount> hasText{};
    std::array<std::string, kFunctionCount> text;
    std::atomic<bool> logging{true};
    std::vector<std::string> log;
    std::atomic<std::int32_t> inside{0};
    std::atomic<std::int32_t> maxInside{0};
    std::atomic<std::int32_t> nextContext{1};
    std::set<mpro::Context> open;
    std::map<mpro::Context, std::map<std::int32_t, std::string>> params;
    std::map<std::string, std::string> fields;

    void Reset();
};

Script& State();

// Result: the scripted result of a function, else the default.
std::int32_t Result(Id id, std::int32_t fallback);
// Text: the scripted output text of a function, if any.
bool Text(Id id, std::string& text);
// CopyText: writes text with its terminator into buffer when buffer is not null.
void CopyText(char* buffer, const std::string& text);
// Arg: an argument as logged ("(null)" for a null text).
std::string Arg(const char* text);

inline constexpr mpro::Context kNoContext = INT32_MIN;

// Call: counts the thread inside, logs the call, applies delay, rendezvous and raising.
class Call {
public:
    Call(Id id, mpro::Context context, std::initializer_list<std::string> args);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
};

}  // namespace fake

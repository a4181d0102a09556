// The fake toolkit's script, log and concurrency bookkeeping, and the script controls.
#include "fake_state.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "fake_script.h"

namespace fake {
namespace {

constexpr const char* kNames[] = {
#define FAKE_NAME(name, type) #name,
    MPRO_REQUIRED_FUNCTIONS(FAKE_NAME) MPRO_OPTIONAL_FUNCTIONS(FAKE_NAME)
#undef FAKE_NAME
};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == kFunctionCount);

}  // namespace

int FunctionId(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < kFunctionCount; ++i)
        if (std::strcmp(kNames[i], name) == 0) return i;
    return -1;
}

void Script::Reset() {
    std::lock_guard<std::mutex> lock(mutex);
    for (int i = 0; i < kFunctionCount; ++i) {
        hasResult[i] = false;
        result[i] = 0;
        delayMs[i] = 0;
        rendezvousThreads[i] = 0;
        rendezvousTimeoutMs[i] = 0;
        raises[i] = false;
        arrived[i] = 0;
        hasText[i] = false;
        text[i].clear();
    }
    logging = true;
    log.clear();
    maxInside = inside.load();
    open.clear();
    params.clear();
    fields.clear();
}

Script& State() {
    static Script script;
    return script;
}

std::int32_t Result(Id id, std::int32_t fallback) {
    auto& s = State();
    return s.hasResult[id] ? s.result[id].load() : fallback;
}

bool Text(Id id, std::string& text) {
    auto& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.hasText[id]) return false;
    text = s.text[id];
    return true;
}

void CopyText(char* buffer, const std::string& text) {
    if (buffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
}

std::string Arg(const char* text) { return text ? std::string(text) : std::string("(null)"); }

Call::Call(Id id, mpro::Context context, std::initializer_list<std::string> args) {
    auto& s = State();
    const std::int32_t now = ++s.inside;
    for (std::int32_t seen = s.maxInside; now > seen && !s.maxInside.compare_exchange_weak(seen, now);) {
    }
    if (s.logging) {
        std::string line = kNames[id];
        line += '|';
        line += context == kNoContext ? std::string("-") : std::to_string(context);
        for (const auto& arg : args) line += '|' + arg;
        std::lock_guard<std::mutex> lock(s.mutex);
        s.log.push_back(std::move(line));
    }
    if (const std::int32_t ms = s.delayMs[id]; ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (const std::int32_t threads = s.rendezvousThreads[id]; threads > 0) {
        std::unique_lock<std::mutex> lock(s.mutex);
        ++s.arrived[id];
        s.arrivedCv.notify_all();
        s.arrivedCv.wait_for(lock, std::chrono::milliseconds(s.rendezvousTimeoutMs[id]),
                             [&] { return s.arrived[id] >= threads; });
    }
#if !defined(_WIN32)
    if (s.raises[id]) {
        --s.inside;
        throw std::runtime_error(std::string("fake toolkit raised in ") + kNames[id]);
    }
#endif
}

Call::~Call() { --State().inside; }

}  // namespace fake

using fake::State;

FAKE_SCRIPT_API void FakeScript_Reset() { State().Reset(); }

FAKE_SCRIPT_API void FakeScript_SetResult(const char* function, std::int32_t result) {
    if (const int id = fake::FunctionId(function); id >= 0) {
        State().result[id] = result;
        State().hasResult[id] = true;
    }
}

FAKE_SCRIPT_API void FakeScript_SetText(const char* function, const char* text) {
    const int id = fake::FunctionId(function);
    if (id < 0) return;
    std::lock_guard<std::mutex> lock(State().mutex);
    State().hasText[id] = text != nullptr;
    State().text[id] = text ? text : "";
}

FAKE_SCRIPT_API void FakeScript_SetDelayMs(const char* function, std::int32_t ms) {
    if (const int id = fake::FunctionId(function); id >= 0) State().delayMs[id] = ms;
}

FAKE_SCRIPT_API void FakeScript_SetRendezvous(const char* function, std::int32_t threads, std::int32_t timeoutMs) {
    if (const int id = fake::FunctionId(function); id >= 0) {
        State().rendezvousTimeoutMs[id] = timeoutMs;
        State().rendezvousThreads[id] = threads;
    }
}

FAKE_SCRIPT_API void FakeScript_SetThrow(const char* function, std::int32_t enabled) {
    if (const int id = fake::FunctionId(function); id >= 0) State().raises[id] = enabled != 0;
}

FAKE_SCRIPT_API void FakeScript_SetLogging(std::int32_t enabled) { State().logging = enabled != 0; }

FAKE_SCRIPT_API std::int32_t FakeScript_CallLog(char* buffer, std::int32_t size) {
    std::string all;
    {
        std::lock_guard<std::mutex> lock(State().mutex);
        for (const auto& line : State().log) all += line + "\n";
    }
    if (buffer && size > 0) {
        const std::size_t n = std::min(all.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, all.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<std::int32_t>(all.size());
}

FAKE_SCRIPT_API std::int32_t FakeScript_CallCount(const char* function) {
    const std::string prefix = std::string(function ? function : "") + "|";
    std::lock_guard<std::mutex> lock(State().mutex);
    std::int32_t count = 0;
    for (const auto& line : State().log)
        if (line.compare(0, prefix.size(), prefix) == 0) ++count;
    return count;
}

FAKE_SCRIPT_API std::int32_t FakeScript_MaxConcurrency() { return State().maxInside; }

FAKE_SCRIPT_API std::int32_t FakeScript_OpenContexts() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return static_cast<std::int32_t>(State().open.size());
}

FAKE_SCRIPT_API void FakeScript_SetRecordField(const char* field, const char* value) {
    if (!field) return;
    std::lock_guard<std::mutex> lock(State().mutex);
    if (value)
        State().fields[field] = value;
    else
        State().fields.erase(field);
}

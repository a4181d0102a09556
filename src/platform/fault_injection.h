// Fault injection, for tests only: while a FaultPlan is in force the platform layer counts
// the calls that change the disk (writes, renames, copies, deletes, directory creations)
// and fails the one the plan names, exactly as a refusing system would: nothing on disk
// changes and the call returns false; or, in crash mode, ends the process there, as a
// process killed at that instruction (run it in a child process). An observer may look at
// the disk before each call.
// Without a plan each changing call costs one relaxed atomic load.
//
// Typical use, walking a failure over a whole operation:
//     std::uint32_t total = 0;
//     { ScopedFaultPlan count({}); Operation(); total = count.Calls(); }
//     for (std::uint32_t k = 1; k <= total; ++k) {
//         RestoreState();
//         { ScopedFaultPlan plan({.failCall = k}); Operation(); }
//         ExpectOldOrNewState();
//     }
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vorlan::platform {

// DiskChange: the kinds of calls that change the disk.
enum class DiskChange : std::uint8_t { Write, Rename, Copy, Delete, CreateDir };

// ChangeBit: the bit of one kind in FaultPlan::kinds.
constexpr std::uint32_t ChangeBit(DiskChange change) { return 1u << static_cast<unsigned>(change); }
inline constexpr std::uint32_t kEveryChange = 0x1F;

// DiskCall: a counted call as the observer sees it, before it runs.
struct DiskCall {
    DiskChange change;
    std::uint32_t number;       // 1 for the first call counted under the plan
    const std::string& path;    // the file or directory changed; Rename and Copy: the source
    const std::string& target;  // Rename and Copy: the destination; otherwise empty
    bool fails;                 // this call is the one the plan fails
};

// FaultPlan: what the layer does with changing calls while the plan is in force.
struct FaultPlan {
    std::uint32_t failCall = 0;                    // counted call to fail (from 1); 0: none
    std::uint32_t kinds = kEveryChange;            // ChangeBit mask of the kinds counted
    std::function<void(const DiskCall&)> observe = nullptr;  // runs before every counted call; may be empty
    bool crash = false;  // the planned call ends the process (exit code kCrashExitCode) before it runs
};

// kCrashExitCode: the exit code of a process that a crash-mode plan ended.
inline constexpr int kCrashExitCode = 86;

// ScopedFaultPlan: puts a plan in force process-wide for its lifetime; one plan at a time.
// Changing calls made by the observer itself are neither counted nor failed.
class ScopedFaultPlan {
public:
    explicit ScopedFaultPlan(FaultPlan plan);
    ~ScopedFaultPlan();
    ScopedFaultPlan(const ScopedFaultPlan&) = delete;
    ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;
    // Calls: the changing calls counted so far.
    std::uint32_t Calls() const;
    // Failed: whether the planned failure has happened.
    bool Failed() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

namespace fault_detail {
extern std::atomic<bool> g_planActive;
// Intercept: counts a changing call under the plan in force; target may be null.
bool Intercept(DiskChange change, const std::string& path, const std::string* target);
}  // namespace fault_detail

// FaultInjected: whether a changing call must fail now; each changing call of the layer
// asks it first, before it touches the disk (Rename and Copy name their destination).
inline bool FaultInjected(DiskChange change, const std::string& path) {
    return fault_detail::g_planActive.load(std::memory_order_relaxed) && fault_detail::Intercept(change, path, nullptr);
}
inline bool FaultInjected(DiskChange change, const std::string& path, const std::string& target) {
    return fault_detail::g_planActive.load(std::memory_order_relaxed) && fault_detail::Intercept(change, path, &target);
}

}  // namespace vorlan::platform

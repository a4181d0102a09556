// The fault plan in force and the counting of changing calls (no OS service of its own).
#include "platform/fault_injection.h"

#include <cstdlib>
#include <mutex>

namespace vorlan::platform {

struct ScopedFaultPlan::State {
    FaultPlan plan;
    std::uint32_t calls = 0;  // guarded by PlanMutex()
    bool failed = false;      // guarded by PlanMutex()
};

namespace fault_detail {

constinit std::atomic<bool> g_planActive{false};

namespace {

std::mutex& PlanMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<ScopedFaultPlan::State>& Current() {  // guarded by PlanMutex()
    static std::shared_ptr<ScopedFaultPlan::State> current;
    return current;
}

thread_local bool t_inObserver = false;

// ObserverScope: marks the calling thread as running the observer.
struct ObserverScope {
    ObserverScope() { t_inObserver = true; }
    ~ObserverScope() { t_inObserver = false; }
    ObserverScope(const ObserverScope&) = delete;
    ObserverScope& operator=(const ObserverScope&) = delete;
};

}  // namespace

bool Intercept(DiskChange change, const std::string& path, const std::string* target) {
    if (t_inObserver) return false;
    std::shared_ptr<ScopedFaultPlan::State> state;
    std::uint32_t number = 0;
    bool fails = false;
    {
        std::lock_guard<std::mutex> guard(PlanMutex());
        state = Current();
        if (!state || (state->plan.kinds & ChangeBit(change)) == 0) return false;
        number = ++state->calls;
        fails = number == state->plan.failCall;
        if (fails) state->failed = true;
    }
    if (state->plan.observe) {
        ObserverScope scope;
        static const std::string none;
        state->plan.observe(DiskCall{change, number, path, target != nullptr ? *target : none, fails});
    }
    // The process dies here, with no clean-up of its own, as a killed one does.
    if (fails && state->plan.crash) std::_Exit(kCrashExitCode);
    return fails;
}

}  // namespace fault_detail

using fault_detail::Current;
using fault_detail::PlanMutex;

ScopedFaultPlan::ScopedFaultPlan(FaultPlan plan) : state_(std::make_shared<State>()) {
    state_->plan = std::move(plan);
    std::lock_guard<std::mutex> guard(PlanMutex());
    Current() = state_;
    fault_detail::g_planActive.store(true, std::memory_order_relaxed);
}

ScopedFaultPlan::~ScopedFaultPlan() {
    std::lock_guard<std::mutex> guard(PlanMutex());
    if (Current() == state_) {
        Current().reset();
        fault_detail::g_planActive.store(false, std::memory_order_relaxed);
    }
}

std::uint32_t ScopedFaultPlan::Calls() const {
    std::lock_guard<std::mutex> guard(PlanMutex());
    return state_->calls;
}

bool ScopedFaultPlan::Failed() const {
    std::lock_guard<std::mutex> guard(PlanMutex());
    return state_->failed;
}

}  // namespace vorlan::platform

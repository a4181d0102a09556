// A caller's view of the export table, for programs that check a built library: each
// export's row of export_table.txt and a call through a pointer of the type the header
// declares for it, with a given handle and every other argument zero (null pointers, 0).
#pragma once

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "vorlan13.h"

namespace vorlan::probe {

// Zero: converts to whatever argument type the export declares, as 0 / null.
struct Zero {
    template <typename T>
    constexpr operator T() const noexcept { return T{}; }
};

// First: the first argument, the handle (0 where the export takes an integer instead).
struct First {
    VORLAN_HANDLE handle;
    operator VORLAN_HANDLE() const noexcept { return handle; }
    template <typename T>
    constexpr operator T() const noexcept { return T{}; }
};

// ProbeResult: what a call gave back, and whether the stack pointer was the same after it.
struct ProbeResult {
    bool returned_value = false;  // false for exports without a result
    std::int64_t value = 0;       // a handle is given as its address
    bool stack_balanced = true;   // 32-bit x86 only; always true elsewhere
};

struct ExportRow {
    int ordinal;
    const char* name;
    int argument_bytes;  // on 32-bit Windows: what the callee removes from the stack
    bool has_result;
    std::int64_t on_error;  // the result for a handle that is not live (null for GetCryptObj)
    // call: calls the export at address with handle and every other argument zero.
    ProbeResult (*call)(void* address, VORLAN_HANDLE handle);
};

inline std::int64_t AsValue(std::int32_t v) { return v; }
inline std::int64_t AsValue(VORLAN_HANDLE h) { return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(h)); }

inline std::uintptr_t StackPointer() {
    std::uintptr_t sp = 0;
#if defined(__i386__)
    asm volatile("movl %%esp, %0" : "=r"(sp));
#endif
    return sp;
}

// CallWithZeros: calls fn with the handle and Arity - 1 zero arguments, checking the stack
// pointer around the call.
template <std::size_t Arity, typename Fn>
ProbeResult CallWithZeros(Fn fn, VORLAN_HANDLE handle) {
    static_assert(Arity >= 1, "every export takes at least one argument");
    ProbeResult result;
    auto call = [&](auto... zeros) {
        const std::uintptr_t before = StackPointer();
        if constexpr (std::is_void_v<decltype(fn(First{handle}, zeros...))>) {
            fn(First{handle}, zeros...);
        } else {
            result.returned_value = true;
            result.value = AsValue(fn(First{handle}, zeros...));
        }
        result.stack_balanced = StackPointer() == before;
    };
    [&]<std::size_t... I>(std::index_sequence<I...>) { call((static_cast<void>(I), Zero{})...); }
    (std::make_index_sequence<Arity - 1>{});
    return result;
}

// The table: one row per export, in ordinal order. Each call goes through a pointer of the
// export's declared type, so a header that disagrees with the table's argument count does
// not compile; a library that removes a different number of bytes unbalances the stack.
#define VORLAN_EXPORT(ordinal, name, bytes, has_result, on_error)                                  \
    ExportRow{ordinal, #name, bytes, has_result != 0, on_error, [](void* address, VORLAN_HANDLE handle) { \
                  return CallWithZeros<(bytes) / 4>(reinterpret_cast<decltype(&::name)>(address), handle);  \
              }},
inline constexpr ExportRow kExports[] = {
#include "export_table.inc"
};
#undef VORLAN_EXPORT

inline constexpr int kExportCount = static_cast<int>(sizeof(kExports) / sizeof(kExports[0]));

}  // namespace vorlan::probe

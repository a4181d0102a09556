// The one wrapper every export goes through: find the engine behind the handle, run the
// operation inside a catch-all, return the export's fixed error result on any failure.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "exports/handle_set.h"

namespace vorlan::exports {

constexpr std::int32_t kExceptionResult = -102;  // an error escaped the engine
constexpr std::int32_t kQueryError = -1;         // size and count queries

// WithEngine: body(engine) on the live engine behind handle; onError for a handle that
// is not live or when anything fails.
template <typename R, typename Body>
R WithEngine(VORLAN_HANDLE handle, R onError, Body&& body) noexcept {
    try {
        if (EngineRef engine = FindEngine(handle)) return body(*engine);
    } catch (...) {
    }
    return onError;
}

// WithEngine (no result): body(engine) on the live engine; every failure is swallowed.
template <typename Body>
void WithEngine(VORLAN_HANDLE handle, Body&& body) noexcept {
    try {
        if (EngineRef engine = FindEngine(handle)) body(*engine);
    } catch (...) {
    }
}

// Forward: the engine operation Op with the export's remaining arguments, its result
// unchanged; OnError when the call cannot be made or fails.
template <auto Op, std::int32_t OnError, typename... Args>
std::int32_t Forward(VORLAN_HANDLE handle, Args... args) noexcept {
    return WithEngine(handle, OnError, [&](TCryptoEngine& engine) -> std::int32_t { return (engine.*Op)(args...); });
}

// ForwardVoid: the engine operation Op for exports without a result.
template <auto Op, typename... Args>
void ForwardVoid(VORLAN_HANDLE handle, Args... args) noexcept {
    WithEngine(handle, [&](TCryptoEngine& engine) { (engine.*Op)(args...); });
}

}  // namespace vorlan::exports

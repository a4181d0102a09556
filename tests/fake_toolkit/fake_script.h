// Script controls of the fake toolkit plug-in. Tests resolve them by name from the loaded
// plug-in module (platform::ModuleSymbol) and call them through these types.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define FAKE_SCRIPT_API extern "C" __declspec(dllexport)
#else
#define FAKE_SCRIPT_API extern "C" __attribute__((visibility("default")))
#endif

namespace fake {

// FakeScript_Reset: forgets every script, the call log, open contexts and concurrency counts.
using FnReset = void (*)();
// FakeScript_SetResult: the result a toolkit function returns from now on (GetMax…,
// GetCryptoParamNumber and InitCrypto included: InitCrypto then returns that context).
using FnSetResult = void (*)(const char* function, std::int32_t result);
// FakeScript_SetText: a text the function writes into its output buffer (or data buffer,
// with its length, for EncodeData, DecodeData, SignData, GetCertificateByUID).
using FnSetText = void (*)(const char* function, const char* text);
// FakeScript_SetDelayMs: a pause inside the function, to widen race windows.
using FnSetDelayMs = void (*)(const char* function, std::int32_t ms);
// FakeScript_SetRendezvous: calls of the function wait inside until `threads` calls are
// inside at once, or until timeoutMs passed.
using FnSetRendezvous = void (*)(const char* function, std::int32_t threads, std::int32_t timeoutMs);
// FakeScript_SetThrow: the function raises a C++ exception (POSIX builds only).
using FnSetThrow = void (*)(const char* function, std::int32_t enabled);
// FakeScript_SetLogging: switches the call log on (default) or off.
using FnSetLogging = void (*)(std::int32_t enabled);
// FakeScript_CallLog: the log, one call a line: "Name|ctx|arg|arg…" ("-" for no context),
// lines ended by "\n"; writes at most size bytes with a zero; returns the full length.
using FnCallLog = std::int32_t (*)(char* buffer, std::int32_t size);
// FakeScript_CallCount: number of logged calls of a function.
using FnCallCount = std::int32_t (*)(const char* function);
// FakeScript_MaxConcurrency: the most threads seen inside the toolkit at once.
using FnMaxConcurrency = std::int32_t (*)();
// FakeScript_OpenContexts: contexts from InitCrypto not yet closed by DoneCrypto.
using FnOpenContexts = std::int32_t (*)();
// FakeScript_SetRecordField: a text of the record GetCertInfoEx / GetReqInfo fill: "SN",
// "NotBefore", "NotAfter", "PublicKey", subject "C".."E", issuer "IC".."IE"; null clears it.
using FnSetRecordField = void (*)(const char* field, const char* value);

}  // namespace fake

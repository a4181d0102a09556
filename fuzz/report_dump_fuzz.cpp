// Fuzz target: GetReportByBuffer on arbitrary dumps, into a separate buffer and in place,
// with report buffers of 256 bytes (the fake's certificate information length set to 0).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorlan;
    static const std::int32_t capacity = [] {
        fuzz::FakeEngine::SetResult("GetMaxCertInfoLength", 0);
        return fuzz::FakeEngine::Get().GetMaxReportSize();
    }();
    if (capacity != 256 || size > (1u << 16)) std::abort();
    const std::string dump(reinterpret_cast<const char*>(data), size);
    std::string report(static_cast<std::size_t>(capacity), '\x7f');
    const std::int32_t code = fuzz::FakeEngine::Get().GetReportByBuffer(dump.c_str(), report.data());
    if (code != 0 && code != -101 && code != -102) std::abort();
    if (code == 0 && report.find('\0') == std::string::npos) std::abort();
    if (code != 0 && report.find_first_not_of('\x7f') != std::string::npos) std::abort();
    // In place: the dump in the report buffer itself gives the same report.
    if (dump.size() < report.size() && dump.find('\0') == std::string::npos) {
        std::string inPlace(static_cast<std::size_t>(capacity), '\0');
        std::memcpy(inPlace.data(), dump.data(), dump.size());
        const std::int32_t again = fuzz::FakeEngine::Get().GetReportByBuffer(inPlace.data(), inPlace.data());
        if (again != code || (code == 0 && std::strcmp(inPlace.c_str(), report.c_str()) != 0)) std::abort();
    }
    return 0;
}

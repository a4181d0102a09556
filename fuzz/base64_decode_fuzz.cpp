// Fuzz target: Base64Decode (and Base64DecodeLines) on arbitrary text, with a round trip of what
// it yields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const auto* text = reinterpret_cast<const char*>(data);
    const auto length = static_cast<std::int32_t>(size);
    const std::string decoded = vorlan::Base64Decode(text, length);
    if (decoded.size() > size / 4 * 3) std::abort();
    // Without its line breaks and blanks the text gives no more than its other characters can.
    if (vorlan::Base64DecodeLines(std::string(text, size).c_str(), size).size() > size / 4 * 3) std::abort();
    if (!decoded.empty()) {
        const std::string again = vorlan::Base64Encode(decoded.data(), static_cast<std::int32_t>(decoded.size()));
        if (vorlan::Base64Decode(again.data(), static_cast<std::int32_t>(again.size())) != decoded) std::abort();
    }
    return 0;
}

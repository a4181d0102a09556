// Fuzz target: FormatPublicKeyText and FormatCertDate on arbitrary toolkit texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/cert_info_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string block = vorlan::FormatPublicKeyText(text);
    if (!text.empty() && block.size() < 11) std::abort();  // at least "PKey=" CR LF CR LF CR LF
    const std::string date = vorlan::FormatCertDate(text);
    if (date.size() != (size > 8 ? size - 2 : std::min<std::size_t>(size, 6))) std::abort();
    return 0;
}

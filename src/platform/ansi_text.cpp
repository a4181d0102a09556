#include "platform/ansi_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <stdexcept>

namespace vorlan::platform {

#ifdef _WIN32
std::u16string AnsiToUtf16(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) throw std::runtime_error("the text cannot be converted from the ANSI code page");
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(wide.data()), needed);
    return wide;
}
#else
std::u16string AnsiToUtf16(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (unsigned char c : text) wide.push_back(static_cast<char16_t>(c));
    return wide;
}
#endif

}  // namespace vorlan::platform

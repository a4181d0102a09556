#include "platform/ansi_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <stdexcept>

#include "platform/text_chars.h"

namespace vorlan::platform {

#ifdef _WIN32
namespace {

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) throw std::runtime_error("the text cannot be converted from the ANSI code page");
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed);
    return wide;
}

}  // namespace

std::u32string AnsiToChars(std::string_view text) {
    const std::wstring wide = Wide(text);
    std::u32string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t unit = wide[i];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        out += pair ? 0x10000 + ((unit - 0xD800) << 10) + (wide[++i] - 0xDC00) : unit;
    }
    return out;
}

std::string CharsToAnsi(std::u32string_view chars, bool* lossy) {
    if (lossy != nullptr) *lossy = false;
    if (GetACP() == CP_UTF8) return chars::EncodeUtf8(chars);  // a process that runs in UTF-8
    std::string out;
    for (char32_t c : chars) {
        wchar_t units[2];
        int count = 1;
        if (c >= 0x10000) {
            units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(c);
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int n = c >= 0xD800 && c <= 0xDFFF ? 0
                                                 : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                                                       sizeof bytes, "?", &usedDefault);
        if (n <= 0 || usedDefault) {
            out += '?';
            if (lossy != nullptr) *lossy = true;
        } else {
            out.append(bytes, static_cast<std::size_t>(n));
        }
    }
    return out;
}

std::u16string AnsiToUtf16(const std::string& text) {
    const std::wstring wide = Wide(text);
    return std::u16string(wide.begin(), wide.end());
}

std::size_t AnsiCharacters(std::string_view text) { return AnsiToChars(text).size(); }

bool SameAnsiNoCase(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (chars::IsAscii(a) && chars::IsAscii(b)) return chars::SameUtf8NoCase(a, b);  // ASCII in every code page
    const std::u32string x = AnsiToChars(a), y = AnsiToChars(b);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (chars::UpperCase(x[i]) != chars::UpperCase(y[i])) return false;
    return true;
}
#else
std::u32string AnsiToChars(std::string_view text) { return chars::DecodeUtf8(text); }

std::string CharsToAnsi(std::u32string_view chars, bool* lossy) {
    if (lossy != nullptr) *lossy = false;
    return chars::EncodeUtf8(chars);
}

std::u16string AnsiToUtf16(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char32_t c : chars::DecodeUtf8(text)) {
        if (c >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(c >= chars::kRawByte + 0x80 && c <= chars::kRawByte + 0xFF ? 0xFFFD : c);
        }
    }
    return wide;
}

std::size_t AnsiCharacters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) chars::NextUtf8(text, pos);
    return count;
}

bool SameAnsiNoCase(std::string_view a, std::string_view b) { return a == b || chars::SameUtf8NoCase(a, b); }
#endif

}  // namespace vorlan::platform

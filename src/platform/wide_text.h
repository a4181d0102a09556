// Texts for the Windows wide API: 8-bit text of a code page as UTF-16 and back, so that a
// name reaches the file Windows shows under it. Header only: the library, the toolkit and
// the vorlan host share it.
#pragma once

#include <windows.h>

#include <string>

namespace vorlan::wide {

// Wide: text of a code page (CP_ACP: the process's ANSI code page) as UTF-16; empty when it
// cannot be read.
inline std::wstring Wide(const std::string& text, UINT page = CP_ACP) {
    std::wstring wide(text.size(), L'\0');  // never more UTF-16 units than bytes
    const int n = text.empty() ? 0
                               : MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                                     static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

// Narrow: UTF-16 as text of a code page without best-fit substitutes: a character the code
// page cannot write becomes "?" and sets *lossy.
inline std::string Narrow(const std::wstring& wide, UINT page = CP_ACP, bool* lossy = nullptr) {
    if (page == CP_ACP) page = GetACP();
    const bool exact = page == CP_UTF8;  // UTF-8 writes every character (and takes no default)
    const DWORD flags = exact ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = exact ? nullptr : "?";
    BOOL usedDefault = FALSE;
    BOOL* used = exact ? nullptr : &usedDefault;
    const int length = static_cast<int>(wide.size());
    const int n = wide.empty() ? 0 : WideCharToMultiByte(page, flags, wide.data(), length, nullptr, 0, fallback, used);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(page, flags, wide.data(), length, out.data(), n, fallback, used);
    if (lossy != nullptr) *lossy = usedDefault != FALSE;
    return out;
}

}  // namespace vorlan::wide

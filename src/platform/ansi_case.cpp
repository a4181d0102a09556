#include "platform/ansi_case.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <array>

namespace vorlan::platform {

namespace {

using CaseTable = std::array<unsigned char, 256>;

CaseTable Identity() {
    CaseTable t{};
    for (unsigned i = 0; i < t.size(); ++i) t[i] = static_cast<unsigned char>(i);
    return t;
}

#ifdef _WIN32
// Each byte that is a character of the process's code page gets the code page's byte of
// its upper case, when there is exactly one (kernel32 only: no other system DLL is needed).
CaseTable MakeTable() {
    CaseTable t = Identity();
    for (unsigned c = 1; c < t.size(); ++c) {
        const char byte = static_cast<char>(c);
        wchar_t wide = 0, upper = 0;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1) != 1) continue;
        if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &wide, 1, &upper, 1) != 1 || upper == wide) continue;
        char back = 0;
        BOOL lossy = FALSE;
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &upper, 1, &back, 1, nullptr, &lossy) == 1 && !lossy)
            t[c] = static_cast<unsigned char>(back);
    }
    return t;
}
#else
CaseTable MakeTable() {
    CaseTable t = Identity();
    for (unsigned c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 0x20);
    for (unsigned c = 0xE0; c <= 0xFF; ++c) t[c] = static_cast<unsigned char>(c - 0x20);  // а..я
    // The other Cyrillic letters of Windows-1251: lower case, upper case.
    static const unsigned char kPairs[][2] = {{0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
                                              {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5},
                                              {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD}};
    for (const auto& pair : kPairs) t[pair[0]] = pair[1];
    return t;
}
#endif

}  // namespace

unsigned char AnsiUpperCase(unsigned char c) {
    static const CaseTable table = MakeTable();
    return table[c];
}

}  // namespace vorlan::platform

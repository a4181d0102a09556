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
CaseTable MakeTable() {
    CaseTable t = Identity();
    // Byte 0 stays itself; the others are converted in place by the system's own rules.
    CharUpperBuffA(reinterpret_cast<char*>(t.data() + 1), static_cast<DWORD>(t.size() - 1));
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

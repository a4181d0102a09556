// Upper case of the letters of the ANSI code page.
#include <gtest/gtest.h>

#include "platform/ansi_case.h"

namespace vorlan::platform {
namespace {

TEST(AnsiCase, LettersFoldOtherBytesStay) {
    for (unsigned c = 'a'; c <= 'z'; ++c) EXPECT_EQ(AnsiUpperCase(static_cast<unsigned char>(c)), c - 0x20);
    for (unsigned char c : {'A', 'Z', '0', '9', '\\', '@', '[', '`', '{', '\0'}) EXPECT_EQ(AnsiUpperCase(c), c);
#ifndef _WIN32
    // Windows-1251: а..я, ё, ў, і, ї, є, ґ, ђ, ѓ, љ, њ, ќ, ћ, џ, ј, ѕ and their capitals.
    for (unsigned c = 0xE0; c <= 0xFF; ++c) EXPECT_EQ(AnsiUpperCase(static_cast<unsigned char>(c)), c - 0x20) << c;
    const unsigned char pairs[][2] = {{0xB8, 0xA8}, {0xA2, 0xA1}, {0xB3, 0xB2}, {0xBF, 0xAF}, {0xBA, 0xAA},
                                      {0xB4, 0xA5}, {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                      {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xBC, 0xA3}, {0xBE, 0xBD}};
    for (const auto& p : pairs) {
        EXPECT_EQ(AnsiUpperCase(p[0]), p[1]) << int(p[0]);
        EXPECT_EQ(AnsiUpperCase(p[1]), p[1]) << int(p[1]);
    }
    for (unsigned char c : {0xB5, 0xB9, 0xA9, 0xC0, 0xDF, 0x98}) EXPECT_EQ(AnsiUpperCase(c), c) << int(c);
#endif
}

}  // namespace
}  // namespace vorlan::platform

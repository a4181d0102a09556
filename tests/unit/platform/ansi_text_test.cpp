// The library's 8-bit texts: characters, their count and the case rule, the same for file
// names, UIDs and context keys (UTF-8 on POSIX; the ANSI code page on Windows, where rows
// that code page cannot write are left out).
#include <gtest/gtest.h>

#include "platform/ansi_text.h"

namespace vorlan::platform {
namespace {

TEST(AnsiText, NamesCompareWithoutRegardToCase) {
    const struct {
        std::u32string a, b;
        bool same;
    } cases[] = {{U"Tmp_Cert.pem", U"TMP_CERT.PEM", true},  {U"иванов", U"ИВАНОВ", true},
                 {U"Семён Ёлкин", U"СЕМЁН ёЛКИН", true},   {U"ё", U"е", false},
                 {U"й", U"и", false},                      {U"Zoë", U"ZOË", true},
                 {U"abc", U"abcd", false}};
    for (const auto& c : cases) {
        bool lossy = false, lossyToo = false;
        const std::string a = CharsToAnsi(c.a, &lossy), b = CharsToAnsi(c.b, &lossyToo);
        if (lossy || lossyToo) continue;
        EXPECT_EQ(SameAnsiNoCase(a, b), c.same) << a << " / " << b;
        EXPECT_EQ(AnsiToChars(a), c.a);
        EXPECT_EQ(AnsiCharacters(a), c.a.size());
    }
#ifndef _WIN32
    // Bytes that are no UTF-8 (here Windows-1251) stay themselves: equal only to themselves.
    EXPECT_FALSE(SameAnsiNoCase("\xe8\xe2", "\xc8\xc2"));
    EXPECT_EQ(CharsToAnsi(AnsiToChars("\xc8\xc2\xff")), "\xc8\xc2\xff");
    EXPECT_EQ(AnsiCharacters("\xc8\xd0\x98"), 2u);
#endif
}

}  // namespace
}  // namespace vorlan::platform

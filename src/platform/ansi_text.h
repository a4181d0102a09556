// The library's 8-bit texts (UIDs, names, file names, reports): on Windows in the process's
// ANSI code page, elsewhere in UTF-8, as the hosts of each platform pass them. Conversions
// between them and characters, and the comparison of names without regard to case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlan::platform {

// AnsiToChars: the characters of a text. On POSIX a byte that is not part of a UTF-8
// character gives chars::kRawByte + byte.
std::u32string AnsiToChars(std::string_view text);
// CharsToAnsi: characters as 8-bit text; each one the code page cannot write (Windows: no
// best-fit substitutes) becomes "?" and sets *lossy when given.
std::string CharsToAnsi(std::u32string_view chars, bool* lossy = nullptr);
// AnsiToUtf16: the text as UTF-16.
std::u16string AnsiToUtf16(const std::string& text);
// AnsiCharacters: the number of characters of a text.
std::size_t AnsiCharacters(std::string_view text);
// SameAnsiNoCase: whether two texts hold the same characters without regard to case
// (chars::UpperCase, on every platform).
bool SameAnsiNoCase(std::string_view a, std::string_view b);

}  // namespace vorlan::platform

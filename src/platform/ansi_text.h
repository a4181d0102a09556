// Conversion of 8-bit texts in the ANSI code page to UTF-16.
#pragma once

#include <string>

namespace vorlan::platform {

// AnsiToUtf16: the text converted from the ANSI code page (Windows: the process code
// page; elsewhere each byte is taken as Latin-1).
std::u16string AnsiToUtf16(const std::string& text);

}  // namespace vorlan::platform

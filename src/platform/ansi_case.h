// Case of the letters of the ANSI code page, for texts compared without regard to case.
#pragma once

namespace vorlan::platform {

// AnsiUpperCase: the upper-case form of a byte that is a lower-case letter of the ANSI code
// page, any other byte as it is. Windows: the process's ANSI code page; elsewhere
// Windows-1251 (Latin and Cyrillic letters), the code page of the hosts the library serves.
unsigned char AnsiUpperCase(unsigned char c);

}  // namespace vorlan::platform

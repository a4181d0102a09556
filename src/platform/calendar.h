// Day numbers of civil dates, as used by the library's date-time values (days since
// 1899-12-30, the fraction being the time of day).
#pragma once

namespace vorlan::platform {

// DaysSince18991230: day number of a Gregorian date (month 1-12), 0 for 1899-12-30.
constexpr long DaysSince18991230(int year, int month, int day) {
    const long y = year - (month <= 2 ? 1 : 0);
    const long m = month <= 2 ? month + 12 : month;  // March-based months 3..14
    return 365L * y + y / 4 - y / 100 + y / 400 + (153L * (m - 3) + 2) / 5 + day - 693900L;
}

// DayFraction: the part of a day elapsed at a local time of day, millisecond resolution.
constexpr double DayFraction(int hour, int minute, int second, int millisecond) {
    return static_cast<double>(((hour * 60L + minute) * 60L + second) * 1000L + millisecond) / 86400000.0;
}

}  // namespace vorlan::platform

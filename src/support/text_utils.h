// Text and date routines: numbering, field extraction, date forms, ASCII case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorlan {

// FormatNumber3 / FormatNumber5: decimal, cut to 3 (5) characters, left-padded with "0".
std::string FormatNumber3(std::int32_t number);
std::string FormatNumber5(std::int32_t number);
// ParseDecimal: a decimal int32 (leading spaces allowed, digits only); nullopt otherwise.
std::optional<std::int32_t> ParseDecimal(const std::string& text);
// ExtractField: the text after key up to terminator (optionally after the next CR LF);
// false when key or terminator is missing (value then holds the rest, or is empty).
bool ExtractField(const std::string& text, const std::string& key, const std::string& terminator, bool skipLine,
                  std::string& value);
// StripDateSuffix: removes a trailing " (dd.mm.yyyy hh:mm:ss)".
std::string StripDateSuffix(const std::string& text);
// FormatDateStamp: a date-time value (days since 1899-12-30, fraction: time of day) as
// "dd-mm-yyyy hh-nn-ss", rounded to the second.
std::string FormatDateStamp(double days);
// ConvertCertDate: "Mmm DD HH:MM:SS YYYY" -> "DD-MM-YY HH:MM:SS"; EConvertError on a bad day.
std::string ConvertCertDate(const std::string& text);
// UpperCaseAscii: ASCII letters in upper case (for names and tags that are ASCII by nature).
std::string UpperCaseAscii(std::string text);
// SameTextAnsi: equality without regard to case of the characters of 8-bit texts
// (platform::SameAnsiNoCase): the one rule for UIDs, file names and context keys.
bool SameTextAnsi(const std::string& a, const std::string& b);
// TrimSpaces: removes characters up to and including space from both ends.
std::string TrimSpaces(const std::string& text);

}  // namespace vorlan

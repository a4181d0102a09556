// Text and date routines: numbering, field extraction, date forms, case rules.
#include "support/text_utils.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/ansi_text.h"
#include "support/errors.h"

namespace vorlan {

namespace {

std::string FormatNumber(std::int32_t number, std::size_t width) {
    std::string digits = std::to_string(number);
    if (digits.size() > width) digits.resize(width);
    return std::string(width - digits.size(), '0') + digits;
}

// Copy: up to count characters from the 1-based position start, empty outside the text.
std::string Copy(const std::string& text, std::size_t start, std::size_t count) {
    if (start < 1 || start > text.size()) return {};
    return text.substr(start - 1, count);
}

}  // namespace

std::string FormatNumber3(std::int32_t number) { return FormatNumber(number, 3); }

std::string FormatNumber5(std::int32_t number) { return FormatNumber(number, 5); }

std::optional<std::int32_t> ParseDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

bool ExtractField(const std::string& text, const std::string& key, const std::string& terminator, bool skipLine,
                  std::string& value) {
    value.clear();
    const auto keyPos = text.find(key);
    if (keyPos == std::string::npos) return false;
    std::size_t start = keyPos + key.size();
    if (skipLine) {
        const auto lineEnd = text.find("\r\n", start);
        if (lineEnd == std::string::npos) return false;
        start = lineEnd + 2;
    }
    const auto end = text.find(terminator, start);
    if (end == std::string::npos) {
        value = text.substr(start);
        return false;
    }
    value = text.substr(start, end - start);
    return true;
}

std::string StripDateSuffix(const std::string& text) {
    constexpr std::size_t kSuffix = 21;  // "(dd.mm.yyyy hh:mm:ss)"
    if (text.size() < kSuffix || text[text.size() - kSuffix] != '(' || text.back() != ')') return text;
    return text.substr(0, text.size() < kSuffix + 1 ? 0 : text.size() - kSuffix - 1);
}

std::string FormatDateStamp(double days) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    constexpr std::int64_t kUnixEpochDay = 25569;  // 1970-01-01
    const std::int64_t total = std::llround(days * kSecondsPerDay);
    std::int64_t day = total / kSecondsPerDay, second = total % kSecondsPerDay;
    if (second < 0) {
        second += kSecondsPerDay;
        --day;
    }
    // Civil date of a day count from 1970-01-01, in 400-year eras starting on 0000-03-01.
    const std::int64_t z = day - kUnixEpochDay + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d-%02d-%02d", static_cast<int>(d), static_cast<int>(m),
                  static_cast<int>(y), static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                  static_cast<int>(second % 60));
    return text;
}

std::string ConvertCertDate(const std::string& text) {
    static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::string monthName = Copy(text, 1, 3);
    const auto found = monthName.empty() ? std::string::npos : kMonths.find(monthName);
    const int month = found == std::string::npos ? 1 : static_cast<int>(found) / 3 + 1;

    const std::string dayText = Copy(text, 5, 2);
    const auto day = ParseDecimal(dayText);
    if (!day) throw EConvertError("'" + dayText + "' is not a valid integer value");

    auto twoDigits = [](std::int32_t n) {
        std::string digits = std::to_string(n);
        if (n < 10) digits.insert(digits.begin(), '0');
        return digits;
    };
    return twoDigits(*day) + "-" + twoDigits(month) + "-" + Copy(text, 19, 2) + " " + Copy(text, 8, 8);
}

std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool SameTextAnsi(const std::string& a, const std::string& b) { return platform::SameAnsiNoCase(a, b); }

std::string TrimSpaces(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

}  // namespace vorlan

// Text and date routines and the list/backslash helpers.
#include <gtest/gtest.h>

#include "platform/calendar.h"
#include "support/errors.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {
namespace {

TEST(TextNumbers, FormatNumberPadsAndCuts) {
    EXPECT_EQ(FormatNumber3(0), "000");
    EXPECT_EQ(FormatNumber3(7), "007");
    EXPECT_EQ(FormatNumber3(42), "042");
    EXPECT_EQ(FormatNumber3(1234), "123");
    EXPECT_EQ(FormatNumber5(42), "00042");
    EXPECT_EQ(FormatNumber5(123456), "12345");
    EXPECT_EQ(FormatNumber5(99999), "99999");
}

TEST(TextNumbers, ParseDecimalAcceptsLeadingSpacesAndDigitsOnly) {
    EXPECT_EQ(ParseDecimal("12"), 12);
    EXPECT_EQ(ParseDecimal(" 5"), 5);
    EXPECT_EQ(ParseDecimal("007"), 7);
    EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(ParseDecimal("2147483648"), std::nullopt);
    EXPECT_EQ(ParseDecimal(""), std::nullopt);
    EXPECT_EQ(ParseDecimal("  "), std::nullopt);
    EXPECT_EQ(ParseDecimal("5 "), std::nullopt);
    EXPECT_EQ(ParseDecimal("1a"), std::nullopt);
    EXPECT_EQ(ParseDecimal("pem"), std::nullopt);
}

TEST(TextFields, ExtractFieldFindsValueAfterKey) {
    std::string value = "stale";
    EXPECT_TRUE(ExtractField("Subject: CN=Ivan, O=Bank\r\n", "CN=", ",", false, value));
    EXPECT_EQ(value, "Ivan");
    EXPECT_TRUE(ExtractField("Serial:\r\n  01:02\r\nNext", "Serial:", "\r\n", true, value));
    EXPECT_EQ(value, "  01:02");
}

TEST(TextFields, ExtractFieldMissingPartsReportFalse) {
    std::string value = "stale";
    EXPECT_FALSE(ExtractField("abc", "key", ";", false, value));
    EXPECT_EQ(value, "");
    // Terminator absent: false, but the rest of the text is delivered.
    EXPECT_FALSE(ExtractField("key=rest of text", "key=", ";", false, value));
    EXPECT_EQ(value, "rest of text");
    // Line to skip absent: false with an empty value.
    value = "stale";
    EXPECT_FALSE(ExtractField("key=value;", "key=", ";", true, value));
    EXPECT_EQ(value, "");
    // Only the first occurrence of the key counts.
    EXPECT_TRUE(ExtractField("a=1;a=2;", "a=", ";", false, value));
    EXPECT_EQ(value, "1");
}

TEST(TextDates, StripDateSuffixRemovesOnlyTheDateForm) {
    EXPECT_EQ(StripDateSuffix("Ivan Petrov (31.12.2021 10:20:30)"), "Ivan Petrov");
    EXPECT_EQ(StripDateSuffix("Ivan Petrov"), "Ivan Petrov");
    EXPECT_EQ(StripDateSuffix("Ivan (x)"), "Ivan (x)");
    EXPECT_EQ(StripDateSuffix("(x)"), "(x)");
    EXPECT_EQ(StripDateSuffix("(31.12.2021 10:20:30)"), "");
    EXPECT_EQ(StripDateSuffix("Ivan (31.12.2021 10:20:30"), "Ivan (31.12.2021 10:20:30");
    EXPECT_EQ(StripDateSuffix(""), "");
}

TEST(TextDates, FormatDateStampFromDayNumbers) {
    struct Case {
        double days;
        const char* text;
    } const cases[] = {
        {platform::DaysSince18991230(2026, 12, 6) + platform::DayFraction(10, 0, 0, 0), "06-12-2026 10-00-00"},
        {platform::DaysSince18991230(2000, 2, 29) + platform::DayFraction(23, 59, 59, 400), "29-02-2000 23-59-59"},
        {platform::DaysSince18991230(1999, 12, 31) + platform::DayFraction(23, 59, 59, 600), "01-01-2000 00-00-00"},
        {0.5, "30-12-1899 12-00-00"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatDateStamp(c.days), c.text) << c.days;
    // The stamp of a start replaces an earlier one in a name.
    EXPECT_EQ(StripDateSuffix("USER01 (" + FormatDateStamp(45000.5) + ")"), "USER01");
}

TEST(TextDates, ConvertCertDateReordersFields) {
    EXPECT_EQ(ConvertCertDate("Dec 31 23:59:59 1999 GMT"), "31-12-99 23:59:59");
    EXPECT_EQ(ConvertCertDate("Mar  5 10:20:30 2021 GMT"), "05-03-21 10:20:30");
    EXPECT_EQ(ConvertCertDate("Jan 10 00:00:00 2030"), "10-01-30 00:00:00");
    EXPECT_EQ(ConvertCertDate("Oct 01 12:00:00 2005 GMT"), "01-10-05 12:00:00");
    // An unknown month name counts as January.
    EXPECT_EQ(ConvertCertDate("Xyz 15 01:02:03 2010 GMT"), "15-01-10 01:02:03");
}

TEST(TextDates, ConvertCertDateRejectsBadDay) {
    EXPECT_THROW(ConvertCertDate("Dec xx 23:59:59 1999 GMT"), EConvertError);
    EXPECT_THROW(ConvertCertDate("Dec 3  23:59:59 1999 GMT"), EConvertError);
    EXPECT_THROW(ConvertCertDate("Dec"), EConvertError);
    EXPECT_THROW(ConvertCertDate(""), EConvertError);
    try {
        ConvertCertDate("Dec ab 23:59:59 1999");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.ClassName(), "EConvertError");
        EXPECT_NE(std::string(e.what()).find("'ab'"), std::string::npos);
    }
}

// UpperCaseAscii touches ASCII letters only; SameTextAnsi is the platform's case rule
// (platform/ansi_text.h, tested there).
TEST(TextCase, UpperCaseAsciiAndSameTextAnsi) {
    EXPECT_EQ(UpperCaseAscii("abc-xyz_09\xe9"), "ABC-XYZ_09\xe9");
    EXPECT_TRUE(SameTextAnsi("Tmp_Cert.pem", "TMP_CERT.PEM"));
    EXPECT_FALSE(SameTextAnsi("abc", "abcd"));
    EXPECT_EQ(TrimSpaces(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimSpaces("   "), "");
}

TEST(SupportRoutines, IncludeBackslashRules) {
    EXPECT_EQ(IncludeBackslash("C"), "C:\\");
    EXPECT_EQ(IncludeBackslash("z"), "z:\\");
    EXPECT_EQ(IncludeBackslash("C:\\x"), "C:\\x\\");
    EXPECT_EQ(IncludeBackslash("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(IncludeBackslash(""), "");
    EXPECT_EQ(IncludeBackslash("7"), "7\\");
    EXPECT_EQ(IncludeBackslash("/tmp/x/"), "/tmp/x/");
}

TEST(SupportRoutines, SplitListKeepsEmptyParts) {
    std::vector<std::string> list{"kept"};
    EXPECT_EQ(SplitList(nullptr, list), 0);
    EXPECT_EQ(SplitList("", list), 0);
    EXPECT_EQ(list, (std::vector<std::string>{"kept"}));
    list.clear();
    EXPECT_EQ(SplitList("A;B", list), 2);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "B"}));
    list.clear();
    EXPECT_EQ(SplitList("A;", list), 2);
    EXPECT_EQ(list, (std::vector<std::string>{"A", ""}));
    list.clear();
    EXPECT_EQ(SplitList(";A", list), 2);
    EXPECT_EQ(list, (std::vector<std::string>{"", "A"}));
    list.clear();
    EXPECT_EQ(SplitList("A;;B", list), 3);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "", "B"}));
    EXPECT_EQ(SplitList("C", list), 1);  // appends
    EXPECT_EQ(list.back(), "C");
    EXPECT_EQ(list.size(), 4u);
}

}  // namespace
}  // namespace vorlan

// Base64 coding: the documented examples, the strict length rule, lenient characters,
// and round trips of every short length.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "binding/base64.h"

namespace vorlan {
namespace {

std::string Encode(const std::string& data) { return Base64Encode(data.data(), static_cast<std::int32_t>(data.size())); }
std::string Decode(const std::string& text) { return Base64Decode(text.data(), static_cast<std::int32_t>(text.size())); }

TEST(Base64, EncodesGroupsWithPadding) {
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
    EXPECT_EQ(Base64Encode("abc", 0), "");
    EXPECT_EQ(Base64Encode(nullptr, 3), "");
    EXPECT_EQ(Base64Encode("abc", -1), "");
}

TEST(Base64, DecodesGroupsAndPartialGroups) {
    EXPECT_EQ(Decode("YWJj"), "abc");
    EXPECT_EQ(Decode("YWI="), "ab");
    EXPECT_EQ(Decode("YQ=="), "a");
    EXPECT_EQ(Decode("+/+/"), std::string("\xfb\xff\xbf", 3));
}

TEST(Base64, LengthMustBeAPositiveMultipleOfFour) {
    EXPECT_EQ(Decode(std::string(64, 'A') + "\r\n"), "");
    EXPECT_EQ(Decode("YWJ"), "");
    EXPECT_EQ(Decode(""), "");
    EXPECT_EQ(Base64Decode(nullptr, 4), "");
    EXPECT_EQ(Base64Decode("YWJj", -4), "");
}

TEST(Base64, ForeignCharactersAreSkippedAndPaddingEndsTheText) {
    EXPECT_EQ(Decode("YW*J"), "ab");
    EXPECT_EQ(Decode("YW\r\nJjYW"), "abca");
    EXPECT_EQ(Decode("=YWJ"), "");
    EXPECT_EQ(Decode("YQ==YWJj"), "a");
    EXPECT_EQ(Decode("Y***"), "");  // six bits make no byte
    EXPECT_EQ(Decode("****"), "");
    EXPECT_EQ(Decode("Y*WJj***"), "abc");
}

TEST(Base64, RoundTripsEveryLengthAndByte) {
    std::mt19937 random(7);
    for (int length = 1; length < 300; ++length) {
        std::string data(static_cast<std::size_t>(length), '\0');
        for (auto& c : data) c = static_cast<char>(random());
        const std::string text = Encode(data);
        ASSERT_EQ(text.size(), static_cast<std::size_t>((length + 2) / 3 * 4));
        ASSERT_EQ(Decode(text), data) << "length " << length;
    }
}

}  // namespace
}  // namespace vorlan

// Encryption behind a plain-text header and its reverse, and the texts of caught exceptions.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "recording_engine.h"
#include "support/errors.h"

namespace vorlan {
namespace {

TEST(AfterHeader, RoundTripKeepsHeaderInFront) {
    test::XorEngine engine;
    const std::string payload = "secret payload";
    std::vector<unsigned char> buffer(64, 0xCC);
    std::copy(payload.begin(), payload.end(), buffer.begin());
    std::int32_t size = static_cast<std::int32_t>(payload.size());

    EXPECT_EQ(engine.EncodeAfterHeader("REQ-7", buffer.data(), &size, "A;B"), 0);
    EXPECT_EQ(engine.lastRecipients, "A;B");
    EXPECT_EQ(size, 5 + 1 + static_cast<std::int32_t>(payload.size()) + 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), "REQ-7");
    EXPECT_EQ(buffer[6], static_cast<unsigned char>('s' ^ 0x5A));
    EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 0xCC);  // nothing written past the result

    unsigned char* data = nullptr;
    std::int32_t dataSize = 0;
    EXPECT_EQ(engine.DecodeAfterHeader(buffer.data(), size, &data, &dataSize), 0);
    EXPECT_EQ(data, buffer.data() + 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(dataSize)), payload);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), "REQ-7");
}

TEST(AfterHeader, EmptyHeaderShiftsByOneNul) {
    test::XorEngine engine;
    std::vector<unsigned char> buffer = {'a', 'b', 'c', 0, 0, 0, 0};
    std::int32_t size = 3;
    EXPECT_EQ(engine.EncodeAfterHeader("", buffer.data(), &size, nullptr), 0);
    EXPECT_EQ(engine.lastRecipients, "null");
    EXPECT_EQ(size, 6);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 'a' ^ 0x5A);
    EXPECT_EQ(buffer[3], 'c' ^ 0x5A);
    unsigned char* data = nullptr;
    std::int32_t dataSize = 0;
    EXPECT_EQ(engine.DecodeAfterHeader(buffer.data(), size, &data, &dataSize), 0);
    EXPECT_EQ(dataSize, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 3), "abc");
}

TEST(AfterHeader, EncodeFailureStillUpdatesSize) {
    test::XorEngine engine;
    engine.encodeResult = -113;
    std::vector<unsigned char> buffer(32, 0);
    std::int32_t size = 4;
    EXPECT_EQ(engine.EncodeAfterHeader("H", buffer.data(), &size, "A"), -113);
    EXPECT_EQ(size, 1 + 1 + 4 + 2);
}

TEST(AfterHeader, DecodeRefusesBufferWithoutHeaderEnd) {
    test::XorEngine engine;
    unsigned char noNul[4] = {'a', 'b', 'c', 'd'};
    unsigned char* data = nullptr;
    std::int32_t dataSize = 99;
    EXPECT_EQ(engine.DecodeAfterHeader(noNul, 4, &data, &dataSize), -1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(dataSize, 99);
    EXPECT_EQ(engine.DecodeAfterHeader(noNul, 0, &data, &dataSize), -1);
    EXPECT_EQ(engine.DecodeAfterHeader(nullptr, 4, &data, &dataSize), -1);
    // A header that fills the buffer leaves empty data for the decoder to judge.
    unsigned char headerOnly[3] = {'h', 'h', 0};
    EXPECT_EQ(engine.DecodeAfterHeader(headerOnly, 3, &data, &dataSize), -7);
    EXPECT_EQ(dataSize, 0);
}

TEST(AfterHeader, NullArgumentsAreRefused) {
    test::XorEngine engine;
    unsigned char buffer[8] = {};
    std::int32_t size = 1;
    EXPECT_EQ(engine.EncodeAfterHeader("H", nullptr, &size, "A"), -1);
    EXPECT_EQ(engine.EncodeAfterHeader("H", buffer, nullptr, "A"), -1);
    size = -1;
    EXPECT_EQ(engine.EncodeAfterHeader("H", buffer, &size, "A"), -1);
    EXPECT_EQ(size, -1);
}

TEST(ExceptionTexts, ClassNameThenMessage) {
    EXPECT_EQ(ExceptionText(EInOutError("File not found")), "EInOutError: File not found");
    EXPECT_EQ(ExceptionText(EConvertError("'x' is not a valid integer value")),
              "EConvertError: 'x' is not a valid integer value");
    EXPECT_EQ(ExceptionText(std::bad_alloc()), "EOutOfMemory: Out of memory");
    EXPECT_EQ(ExceptionText(std::out_of_range("index 5")), "std::out_of_range: index 5");
    try {
        AssertionFailure("unit\\name", 42);
    } catch (const std::exception& e) {
        EXPECT_EQ(ExceptionText(e), "EAssertionFailed: Assertion failure (unit\\name, line 42)");
    }
}

}  // namespace
}  // namespace vorlan

// Environment, clock, thread ids and temporary directory of the platform layer.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include "platform/calendar.h"
#include "platform/platform.h"

namespace vorlan::platform {
namespace {

TEST(PlatformEnvironment, SetAndGetRoundTripAndAbsenceIsDistinct) {
    EXPECT_EQ(GetEnv("VORLAN_TEST_NEVER_SET_1234"), std::nullopt);
    ASSERT_TRUE(SetEnv("VORLAN_TEST_VAR", "C:\\Root\\USER\\;x"));
    EXPECT_EQ(GetEnv("VORLAN_TEST_VAR"), "C:\\Root\\USER\\;x");
    const std::string longValue(5000, 'v');
    ASSERT_TRUE(SetEnv("VORLAN_TEST_VAR", longValue));
    EXPECT_EQ(GetEnv("VORLAN_TEST_VAR"), longValue);
    ASSERT_TRUE(SetEnv("VORLAN_TEST_VAR", ""));
    EXPECT_EQ(GetEnv("VORLAN_TEST_VAR"), "");
}

TEST(PlatformCalendar, DayNumbersOfKnownDates) {
    EXPECT_EQ(DaysSince18991230(1899, 12, 30), 0);
    EXPECT_EQ(DaysSince18991230(1900, 1, 1), 2);
    EXPECT_EQ(DaysSince18991230(1900, 3, 1), 61);  // 1900 is not a leap year
    EXPECT_EQ(DaysSince18991230(2000, 1, 1), 36526);
    EXPECT_EQ(DaysSince18991230(2000, 3, 1), 36586);  // 2000 is
    EXPECT_EQ(DaysSince18991230(2024, 12, 31), 45657);
    EXPECT_DOUBLE_EQ(DayFraction(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(DayFraction(0, 0, 0, 1), 1.0 / 86400000.0);
}

// Expected local day number from the C++ calendar, independent of the layer's arithmetic.
double ExpectedLocalDays() {
    const std::time_t now = std::time(nullptr);
    const std::tm local = *std::localtime(&now);
    using namespace std::chrono;
    const auto date = year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
                      day{static_cast<unsigned>(local.tm_mday)};
    const auto days = (sys_days{date} - sys_days{year{1899} / December / 30}).count();
    return static_cast<double>(days) + (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
}

TEST(PlatformClock, LocalNowDaysFollowsTheLocalCalendar) {
    const double before = ExpectedLocalDays();
    const double value = LocalNowDays();
    const double after = ExpectedLocalDays() + 1.0 / 86400.0;  // whole seconds above
    EXPECT_GE(value, before);
    EXPECT_LE(value, after);
}

TEST(PlatformThreads, IdsAreNonZeroAndDistinctPerThread) {
    const std::uint32_t mine = CurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(CurrentThreadId(), mine);
    std::uint32_t other = 0;
    std::thread t([&] {
        other = CurrentThreadId();
        YieldThread();
    });
    t.join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

TEST(PlatformTemp, TempDirectoryIsAnExistingDirectoryWithSeparator) {
    const std::string temp = TempDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(IsPathSeparator(temp.back()));
    EXPECT_TRUE(DirectoryExists(temp));
}

}  // namespace
}  // namespace vorlan::platform

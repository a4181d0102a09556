// The process-wide context cache as the binding's operations use it: keys, lifetimes,
// reuse across bindings, replacement of stale and empty contexts, and clearing.
#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "fake_fixture.h"
#include "platform/ansi_text.h"

namespace vorlan::test {
namespace {

class ContextCache : public BindingTest {
protected:
    void SetUp() override {
        REQUIRE_FAKE_VARIANT("complete");
        BindingTest::SetUp();
    }
    // Encode: one toolkit call on the vector's context; returns the context it ran on.
    std::string Encode(const ParamVector& v) {
        std::int32_t length = 0;
        EXPECT_EQ(binding_->EncodeData(v, nullptr, &length, "A"), 0);
        const auto calls = fake_->Calls("EncodeData");
        return calls.empty() ? std::string() : calls.back()[1];
    }
};

TEST_F(ContextCache, ContextIsOpenedOnceAndReusedWithinItsLifetime) {
    const auto v = Vector({{0, "C:\\KEYS\\"}, {21, "60"}});
    const std::string first = Encode(v);
    AdvanceSeconds(30);
    EXPECT_EQ(Encode(v), first);
    TMProDLL other(1);  // the cache is shared by every binding
    std::int32_t length = 0;
    other.EncodeData(v, nullptr, &length, "B");
    EXPECT_EQ(fake_->Calls("EncodeData").back()[1], first);

    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_EQ(fake_->CallCount("SetCryptoParamValue"), 26);
    EXPECT_EQ(fake_->CallCount("KeysRenewal"), 1);
    const auto renewal = fake_->Calls("KeysRenewal");
    EXPECT_EQ(renewal[0][1], first);
}

TEST_F(ContextCache, StaleContextIsReplacedAndClosed) {
    const auto v = Vector({{0, "K"}, {21, "60"}});
    const std::string first = Encode(v);
    AdvanceSeconds(61);
    const std::string second = Encode(v);
    EXPECT_NE(second, first);
    const auto done = fake_->Calls("DoneCrypto");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0][1], first);
    EXPECT_EQ(fake_->OpenContexts(), 1);
}

TEST_F(ContextCache, ClockSetBackWithinLifetimeStillFindsContext) {
    const auto v = Vector({{0, "K"}, {21, "60"}});
    const std::string first = Encode(v);
    AdvanceSeconds(-30);
    EXPECT_EQ(Encode(v), first);
    AdvanceSeconds(-40);  // 70 s before opening
    EXPECT_NE(Encode(v), first);
}

TEST_F(ContextCache, LifetimeZeroReusesOnlyAtTheSameClockReading) {
    const auto v = Vector({{0, "K"}});
    const std::string first = Encode(v);
    EXPECT_EQ(Encode(v), first);
    AdvanceSeconds(0.001);
    const std::string second = Encode(v);
    EXPECT_NE(second, first);
    EXPECT_EQ(fake_->OpenContexts(), 1);  // the previous context of the key was closed
}

TEST_F(ContextCache, ShorterOfCallerAndNodeLifetimeDecides) {
    // With 22 parameters entry 21 is the last one, left out of the key: vectors that differ
    // only in their lifetime share an entry.
    fake_->SetResult("GetCryptoParamNumber", 22);
    ParamVector longLived(22), shortLived(22);
    longLived[0] = shortLived[0] = "K";
    longLived[21] = "600";
    shortLived[21] = "10";
    const std::string first = Encode(longLived);
    AdvanceSeconds(30);
    const std::string second = Encode(shortLived);  // caller allows 10 s only
    EXPECT_NE(second, first);
    AdvanceSeconds(30);
    EXPECT_NE(Encode(longLived), second);  // the node was filled with 10 s
}

TEST_F(ContextCache, KeysIgnoreCaseAndSeparatorsAndLastEntry) {
    const std::string first = Encode(Vector({{0, "C:\\KEYS\\"}, {21, "60"}, {25, "first"}}));
    EXPECT_EQ(Encode(Vector({{0, "c:\\keys\\"}, {21, "60"}, {25, "second"}})), first);
    // The context keeps the last entry it was opened with.
    const auto sets = fake_->Calls("SetCryptoParamValue");
    ASSERT_EQ(sets.size(), 26u);
    EXPECT_EQ(sets[25][2], "25");
    EXPECT_EQ(sets[25][3], "first");

    const std::string joined = Encode(Vector({{3, "AB"}, {4, "C"}, {21, "60"}}));
    EXPECT_EQ(Encode(Vector({{3, "A"}, {4, "BC"}, {21, "60"}})), joined);
    EXPECT_NE(Encode(Vector({{3, "A"}, {4, "BD"}, {21, "60"}})), joined);
}

// Keys are 8-bit texts: their letters beyond a-z fold too ("ПРИВЕТ" and "привет", or "ÉTÉ" and
// "été" where the code page has no Cyrillic), other bytes do not.
TEST_F(ContextCache, KeysFoldTheLettersOfTheAnsiCodePage) {
    bool lossy = false;
    platform::CharsToAnsi(U"Ж", &lossy);
    const std::u32string words[][4] = {{U"ПРИВЕТ", U"привет", U"пРиВеТ", U"ПРИВЕУ"}, {U"ÉTÉ", U"été", U"éTé", U"ÉTÈ"}};
    const auto& word = words[lossy ? 1 : 0];
    auto key = [](const std::u32string& dir) { return platform::CharsToAnsi(U"C:\\" + dir + U"\\"); };
    const std::string upper = Encode(Vector({{0, key(word[0])}, {21, "60"}}));
    EXPECT_EQ(Encode(Vector({{0, key(word[1])}, {21, "60"}})), upper);
    EXPECT_EQ(Encode(Vector({{0, key(word[2])}, {21, "60"}})), upper);
    EXPECT_NE(Encode(Vector({{0, key(word[3])}, {21, "60"}})), upper) << "another letter";
    const std::string digits = Encode(Vector({{0, "K1"}, {21, "60"}}));
    EXPECT_NE(Encode(Vector({{0, "K\x11"}, {21, "60"}})), digits) << "0x31 and 0x11 are not a case pair";
}

TEST_F(ContextCache, ClearCashClosesEveryContext) {
    Encode(Vector({{0, "A"}, {21, "60"}}));
    Encode(Vector({{0, "B"}, {21, "60"}}));
    TMProDLL plain(0);
    FakeToolkit plainFake(PluginModule(0));
    plainFake.Reset();
    std::int32_t length = 0;
    plain.EncodeData(Vector({{0, "C"}, {21, "60"}}), nullptr, &length, "A");
    EXPECT_EQ(fake_->OpenContexts(), 2);
    EXPECT_EQ(plainFake.OpenContexts(), 1);

    binding_->ClearCash();
    EXPECT_EQ(fake_->OpenContexts(), 0);
    EXPECT_EQ(plainFake.OpenContexts(), 0);
    Encode(Vector({{0, "A"}, {21, "60"}}));
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 3);
}

TEST_F(ContextCache, EmptyContextIsNotUsedAndReplacedNextTime) {
    const auto v = Vector({{0, "K"}, {21, "60"}});
    fake_->SetResult("InitCrypto", 0);
    std::int32_t length = 0;
    EXPECT_EQ(binding_->EncodeData(v, nullptr, &length, "A"), -6);
    EXPECT_EQ(fake_->CallCount("EncodeData"), 0);
    fake_->Reset();
    EXPECT_EQ(binding_->EncodeData(v, nullptr, &length, "A"), 0);
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_EQ(fake_->CallCount("EncodeData"), 1);
}

#if !defined(_WIN32)
TEST_F(ContextCache, FillingThatRaisesClosesItsContext) {
    const auto v = Vector({{0, "K"}, {21, "60"}});
    fake_->SetThrow("KeysRenewal", 1);
    std::int32_t length = 0;
    EXPECT_THROW(binding_->EncodeData(v, nullptr, &length, "A"), std::exception);
    EXPECT_EQ(fake_->OpenContexts(), 0);
    fake_->SetThrow("KeysRenewal", 0);
    EXPECT_EQ(binding_->EncodeData(v, nullptr, &length, "A"), 0);
    EXPECT_EQ(fake_->OpenContexts(), 1);
    EXPECT_EQ(fake_->CallCount("EncodeData"), 1);
}
#endif

TEST(ContextKeyText, ConcatenatesAllButTheLastEntry) {
    EXPECT_EQ(ContextKey({"a", "b", "c"}, 3), "ab");
    EXPECT_EQ(ContextKey({"", "", "last"}, 3), "UnknownParamNode");
    EXPECT_EQ(ContextKey({"a", "b"}, 0), "UnknownParamNode");
    EXPECT_EQ(ContextKey({"a"}, 5), "a");  // a short vector gives what it has
}

TEST(ContextLifetimeText, ReadsEntry21AsNonNegativeSeconds) {
    ParamVector v(26);
    EXPECT_EQ(ContextLifetime(v), 0);
    v[21] = "60";
    EXPECT_EQ(ContextLifetime(v), 60);
    v[21] = "abc";
    EXPECT_EQ(ContextLifetime(v), 0);
    v[21] = "-5";
    EXPECT_EQ(ContextLifetime(v), 0);
    v[21] = "12x";
    EXPECT_EQ(ContextLifetime(v), 0);
    v[21] = " +7 ";
    EXPECT_EQ(ContextLifetime(v), 7);
    v[21] = "99999999999";
    EXPECT_EQ(ContextLifetime(v), 0);
    EXPECT_EQ(ContextLifetime(ParamVector(21, "5")), 0);
}

}  // namespace
}  // namespace vorlan::test

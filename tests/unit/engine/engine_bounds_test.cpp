// Sizes the caller relies on, and the engine without a usable binding: what is promised
// holds, what does not fit is refused before the toolkit, and nothing is left unwritten.
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "support/rwsync.h"

namespace vorlan::test {
namespace {

TEST_F(EngineTest, MaxAdditionCountsTheRecipientsEncodeDataUses) {
    Fake().SetResult("GetMaxEncodeAddition", 100);
    struct Case {
        const char* text;
        const char* defaults;  // parameter 19
        std::int32_t expected;
    };
    const Case cases[] = {
        {nullptr, "A;B;C", 300}, {"", "A;B;C", 300}, {nullptr, "  A;B  ", 200}, {"X", "A;B;C", 100},
        {"X;Y", "", 200},        {nullptr, "", 100},  {"", "   ", 100},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(engine_->SetCryptoParamValue(19, c.defaults), 0);
        EXPECT_EQ(engine_->GetMaxAdditionEx(c.text), c.expected) << (c.text ? c.text : "null") << " / " << c.defaults;
    }
}

TEST_F(EngineTest, AddSignRefusesSizesBeyond32Bits) {
    Fake().SetResult("GetMaxSignatureLength", 200);
    const std::int32_t addition = engine_->GetMaxSignAddition();
    unsigned char data[16] = "data";
    for (std::int32_t size : {INT32_MAX, INT32_MAX - addition + 1}) {
        std::int32_t length = size;
        EXPECT_EQ(engine_->AddSign(data, &length, nullptr), -101) << size;
        EXPECT_EQ(length, size);
    }
    EXPECT_EQ(Fake().CallCount("SignData"), 0) << "refused before the toolkit";
}

// After the binding could not be created, signing and verification fail as an exception
// does (-102, the text kept); a signer lookup reports that the library is not initialized.
TEST_F(EngineTest, SigningWithoutABindingAnswersAsAnException) {
    engine_->BindingFailed = true;
    unsigned char data[64] = "data";
    std::int32_t length = 4;
    char signer[64] = {};
    struct Case {
        const char* prefix;
        std::function<std::int32_t()> call;
    };
    const Case cases[] = {
        {"TMProCryptoEngine.SignData: ", [&] { return engine_->SignData(data, 4, data + 8, &length, nullptr); }},
        {"TMProCryptoEngine.AddSign: ", [&] { return engine_->AddSign(data, &length, ""); }},
        {"TMProCryptoEngine.VerifyData: ", [&] { return engine_->VerifyData(data, 4, data + 8, 4, signer); }},
        {"TMProCryptoEngine.RemoveSignature: ", [&] { return engine_->RemoveSign(data, &length, signer); }},
        {"TMProWinCryptoEngine.VerifySignWOCheckValidity: ",
         [&] { return engine_->VerifySignWOCheckValidity(data, 4, data + 8, 4, signer); }},
    };
    for (const Case& c : cases) {
        length = 4;
        engine_->ExceptStr->SetText("");
        EXPECT_EQ(c.call(), -102) << c.prefix;
        EXPECT_EQ(engine_->ExceptStr->GetText(), std::string(c.prefix) + "ECryptoEngineError: Library not initialized");
    }
    EXPECT_EQ(engine_->SignData(data, 4, data + 8, &length, "USER01"), -100);
    EXPECT_EQ(Fake().CallCount("SignData") + Fake().CallCount("VerifyData"), 0);
}

// Without a usable plug-in the stored value is still written, bounded by the base's limit,
// which the size query then reports too.
TEST(EngineWithoutPlugin, ParameterValuesAreWrittenWithinTheFallbackLimit) {
    for (bool failed : {false, true}) {
        TMProWinCryptoEngine engine;
        engine.PluginVariant = 3;  // no plug-in file: -127
        engine.BindingFailed = failed;
        engine.ParamValues[1] = std::string(3000, 'v');
        if (!failed) {
            EXPECT_EQ(engine.GetMaxCryptoParamValueLength(), 1024);
        }
        std::vector<char> buffer(1100, 'x');
        engine.GetCryptoParamValue(4, buffer.data());
        EXPECT_STREQ(buffer.data(), "RUS-GAMMAR") << failed;
        engine.GetCryptoParamValue(2, buffer.data());
        EXPECT_EQ(std::string(buffer.data()), std::string(1023, 'v')) << failed;
        EXPECT_EQ(buffer[1024], 'x') << "nothing beyond the limit";
        engine.GetCryptoParamValue(9, buffer.data());
        EXPECT_STREQ(buffer.data(), "") << "an empty value is an empty text";
    }
}

}  // namespace
}  // namespace vorlan::test

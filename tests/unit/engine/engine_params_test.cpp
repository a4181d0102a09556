// Engine construction, the binding's failure codes, parameters, size limits and texts.
#include <cstring>

#include "engine_fixture.h"
#include "support/rwsync.h"

namespace vorlan::test {
namespace {

std::string ParamValue(TCryptoEngine& engine, std::int32_t index) {
    char buffer[1024] = {};
    engine.GetCryptoParamValue(index, buffer);
    return buffer;
}

std::string ErrorText(TCryptoEngine& engine, std::int32_t code) {
    std::vector<char> buffer(1024, 'x');
    engine.GetCryptoErrorString(code, buffer.data());
    return buffer.data();
}

TEST(EngineConstruction, DefaultsAndParameterCounts) {
    TMPro1CryptoEngine plain;
    TMProWinCryptoEngine pse;
    EXPECT_EQ(plain.ParamValues.size(), 25u);
    EXPECT_EQ(pse.ParamValues.size(), 26u);
    EXPECT_EQ(plain.PluginVariant, 0);
    EXPECT_EQ(pse.PluginVariant, 1);
    for (std::int32_t i = 1; i <= 26; ++i) {
        const char* expected = i == 4 ? "RUS-GAMMAR" : i == 5 ? "R3410-R3411" : i == 6 ? "1024" : i == 11 ? "RU" : "";
        EXPECT_EQ(ParamValue(pse, i), expected) << "parameter " << i;
    }
    char name[64];
    std::memset(name, 'x', sizeof name);
    plain.GetEngineName(name);
    EXPECT_STREQ(name, "Message-PRO 1.1");
    std::memset(name, 'x', sizeof name);
    pse.GetEngineName(name);
    EXPECT_STREQ(name, "M-Pro v1.34 (GOST PSE)");
    EXPECT_EQ(name[23], 'x') << "exactly 23 bytes";
    pse.GetEngineName(nullptr);
    EXPECT_EQ(pse.RemoteGenerateStart(nullptr), -1);
    EXPECT_EQ(pse.RemoteGenerateFinish("x"), -1);
    EXPECT_EQ(pse.GetRemoteGenType(), 3);
    EXPECT_EQ(plain.GetRemoteGenType(), 1);
}

// A plug-in that cannot be loaded is reported before any argument is looked at.
TEST(EngineConstruction, MissingPluginIsReportedFirstAndKeepsItsText) {
    TMPro1CryptoEngine engine;
    engine.PluginVariant = 3;  // no plug-in file for this variant
    EXPECT_EQ(engine.EncodeData(nullptr, nullptr, nullptr), -127);
    EXPECT_EQ(engine.SignData(nullptr, 0, nullptr, nullptr, nullptr), -127);
    EXPECT_EQ(engine.VerifyData(nullptr, 0, nullptr, 0, nullptr), -127);
    EXPECT_EQ(engine.SetCryptoParamValue(0, nullptr), -127);
    EXPECT_EQ(engine.IncludePublicKey("x"), -127);
    EXPECT_EQ(engine.GetMaxEncodeAddition(), 0);
    EXPECT_EQ(engine.GetCryptoParamNumber(), 0);
    EXPECT_EQ(ErrorText(engine, -127), "Unable to load mplug*.dll");
    EXPECT_EQ(ErrorText(engine, -128), "Unable to retrive all necessary functionns from mplug*.dll");
}

// Runs in the process whose fake plug-in lacks GetCRLIssuerName.
TEST(IncompletePlugin, IsReportedBeforeArgumentsAndEveryTimeAfter) {
    if (FakeVariant() != "nocrl") GTEST_SKIP() << "runs with the fake variant nocrl";
    TMProWinCryptoEngine engine;
    EXPECT_EQ(engine.EncodeData(nullptr, nullptr, nullptr), -128);
    EXPECT_EQ(engine.DecodeData(nullptr, nullptr, nullptr), -128);
    EXPECT_EQ(engine.AddSign(nullptr, nullptr, nullptr), -128);
    EXPECT_EQ(engine.GetCurrentUserUID(nullptr), -128);
    EXPECT_EQ(ErrorText(engine, -128), "Unable to retrive all necessary functionns from mplug*.dll");
}

TEST_F(EngineTest, VariantZeroSubstitutesTheRootInParameter24) {
    TMPro1CryptoEngine plain;
    plain.SetRootPath("C:\\Root\\");
    EXPECT_EQ(plain.SetCryptoParamValue(24, "%ZELRoot%ca"), 0);
    EXPECT_EQ(ParamValue(plain, 24), "C:\\ROOT\\CA");
    std::int32_t kind = 0, length = 0;
    EXPECT_EQ(plain.GetParamInfo(24, &kind, nullptr, &length), 0);
    EXPECT_EQ(kind, 11);
    EXPECT_EQ(length, 6);
}

TEST_F(EngineTest, SetCryptoParamValueExpandsTheRootOnlyForPathParameters) {
    engine_->SetRootPath("C:\\Root");
    EXPECT_EQ(engine_->SetCryptoParamValue(2, "%ZELRoot%\\certs"), 0);
    EXPECT_EQ(ParamValue(*engine_, 2), "C:\\ROOT\\CERTS");
    EXPECT_EQ(engine_->SetCryptoParamValue(4, "%ZELRoot%\\certs"), 0);
    EXPECT_EQ(ParamValue(*engine_, 4), "%ZELRoot%\\certs");
    EXPECT_EQ(engine_->SetCryptoParamValue(26, "%zelroot%crl"), 0);
    EXPECT_EQ(ParamValue(*engine_, 26), "C:\\ROOT\\CRL");
    EXPECT_EQ(engine_->SetCryptoParamValue(24, "%ZELRoot%x"), 0) << "24 is a plain text in the PSE engine";
    EXPECT_EQ(ParamValue(*engine_, 24), "%ZELRoot%x");
    EXPECT_EQ(engine_->SetCryptoParamValue(0, "x"), -101);
    EXPECT_EQ(engine_->SetCryptoParamValue(3, nullptr), -101);
    EXPECT_EQ(engine_->SetCryptoParamValue(27, "x"), -1);
    EXPECT_EQ(engine_->ParamValues.size(), 26u);
}

TEST_F(EngineTest, GetParamInfoKindsHintsAndLengths) {
    std::int32_t kind = 0, length = 0;
    EXPECT_EQ(engine_->GetParamInfo(4, &kind, nullptr, &length), 0);
    EXPECT_EQ(kind, 7);
    EXPECT_EQ(length, 25);
    char hint[64];
    length = 10;
    EXPECT_EQ(engine_->GetParamInfo(4, &kind, hint, &length), -101);
    EXPECT_EQ(length, 25);
    length = sizeof hint;
    EXPECT_EQ(engine_->GetParamInfo(4, &kind, hint, &length), 0);
    EXPECT_STREQ(hint, "RUS-GAMMAR\r\nDES-EDE3-CBC");
    length = sizeof hint;
    EXPECT_EQ(engine_->GetParamInfo(24, &kind, hint, &length), 0);
    EXPECT_EQ(kind, 2);
    EXPECT_STREQ(hint, "255");
    length = sizeof hint;
    EXPECT_EQ(engine_->GetParamInfo(22, &kind, hint, &length), 0);
    EXPECT_EQ(kind, 1);
    EXPECT_STREQ(hint, "0..2147483640");
    EXPECT_EQ(engine_->GetParamInfo(0, &kind, hint, &length), -126);
    EXPECT_EQ(engine_->GetParamInfo(27, &kind, hint, &length), -126);
    Fake().SetResult("GetCryptoParamNumber", 19);
    EXPECT_EQ(engine_->GetParamInfo(20, &kind, hint, &length), -126);
    EXPECT_EQ(engine_->GetParamInfo(19, &kind, nullptr, &length), 0);
}

TEST_F(EngineTest, SizeLimitsComeFromTheToolkitExceptTheUIDLength) {
    Fake().SetResult("GetMaxUIDLength", 64);
    Fake().SetResult("GetMaxSignatureLength", 200);
    Fake().SetResult("GetMaxEncodeAddition", 77);
    EXPECT_EQ(engine_->GetMaxUIDLength(), 161);
    EXPECT_EQ(engine_->GetMaxSignatureLength(), 200);
    EXPECT_EQ(engine_->GetMaxSignAddition(), 532);
    EXPECT_EQ(engine_->GetMaxEncodeAddition(), 77);
    EXPECT_EQ(engine_->GetCryptoParamNumber(), 26);
}

TEST_F(EngineTest, ErrorTextsOfEngineBindingAndToolkit) {
    EXPECT_EQ(ErrorText(*engine_, -104), "Bad settings for crypto engine");
    EXPECT_EQ(ErrorText(*engine_, -6), "Unable to load private key for operation");
    EXPECT_EQ(ErrorText(*engine_, -106), "Fake error -106") << "-106 has no text of the engine's own";
    EXPECT_EQ(ErrorText(*engine_, -1005), "Fake error -1005");
    engine_->ExceptStr->SetText("TMProCryptoEngine.X: EInOutError: gone");
    EXPECT_EQ(ErrorText(*engine_, -102), "An exception in the function - TMProCryptoEngine.X: EInOutError: gone");
    EXPECT_EQ(ErrorText(*engine_, -100), "Library not initialized TMProCryptoEngine.X: EInOutError: gone");
    Fake().SetResult("GetMaxErrorStringLength", 20);
    EXPECT_EQ(ErrorText(*engine_, -113), "") << "a text that does not fit leaves the buffer empty";
}

TEST_F(EngineTest, ExceptionsBecomeMinus102WithTheOperationsPrefix) {
    Fake().SetResult("GetCryptoParamNumber", 27);  // more than the engine holds
    unsigned char data[16] = "abc";
    std::int32_t size = 3;
    char out[64];
    EXPECT_EQ(engine_->DecodeData(data, &size, out), -102);
    EXPECT_EQ(engine_->ExceptStr->GetText().rfind("TMProCryptoEngine.DecodeData: ERangeError: ", 0), 0u)
        << engine_->ExceptStr->GetText();
    EXPECT_EQ(engine_->EncodeData(data, &size, nullptr), -102);
    EXPECT_EQ(engine_->ExceptStr->GetText().rfind("TMProCryptoEngine.EncodeData: ERangeError: ", 0), 0u);
    EXPECT_EQ(Fake().CallCount("DecodeData") + Fake().CallCount("EncodeData"), 0);
}

TEST_F(EngineTest, EncodeUIDIsTheSignUIDWhenItFits) {
    char buffer[161];
    EXPECT_EQ(engine_->GetEncodeUIDBySignUID("USER01", buffer), 0);
    EXPECT_STREQ(buffer, "USER01");
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(engine_->GetEncodeUIDBySignUID(std::string(41, 'A').c_str(), buffer), -140) << "40 characters at most";
    EXPECT_EQ(buffer[0], 'x') << "nothing written";
    EXPECT_EQ(engine_->GetEncodeUIDBySignUID(nullptr, buffer), -101);
    EXPECT_EQ(engine_->GetEncodeUIDBySignUID("A", nullptr), -101);
}

TEST_F(EngineTest, CurrentUserUIDIsTheUIDFieldOfTheToolkitsAnswer) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01/O=BANK");
    char uid[161];
    EXPECT_EQ(engine_->GetCurrentUserUID(uid), 0);
    EXPECT_STREQ(uid, "USER01");
    UseUIDField(" SN ");
    EXPECT_EQ(engine_->GetCurrentUserUID(uid), 0);
    EXPECT_STREQ(uid, "/C=RU/CN=USER01/O=BANK");
    Fake().SetResult("GetMaxUIDLength", 64);  // the toolkit's answer fits its own limit, not the caller's
    Fake().SetText("GetCurrentUID", std::string(41, '7').c_str());
    std::memset(uid, 'x', sizeof uid);
    EXPECT_EQ(engine_->GetCurrentUserUID(uid), -140);
    EXPECT_EQ(uid[0], 'x');
    Fake().SetResult("GetCurrentUID", -1003);
    EXPECT_EQ(engine_->GetCurrentUserUID(uid), -1003);
    EXPECT_EQ(engine_->GetCurrentUserUID(nullptr), -101);
}

TEST_F(EngineTest, ParameterVectorCarriesTheCurrentValues) {
    unsigned char data[64] = "plain";
    std::int32_t size = 5;
    ASSERT_EQ(engine_->SetCryptoParamValue(4, "DES-EDE3-CBC"), 0);
    ASSERT_EQ(engine_->EncodeData(data, &size, nullptr), 0);
    auto calls = Fake().Calls("EncodeData");
    ASSERT_EQ(calls.size(), 1u);
    auto params = Fake().ParamsOf(Field(calls[0], 1));
    ASSERT_EQ(params.size(), 26u);
    EXPECT_EQ(params[1], root_ + "certs");
    EXPECT_EQ(params[3], "DES-EDE3-CBC");
    EXPECT_EQ(params[4], "R3410-R3411");

    ASSERT_EQ(engine_->SetCryptoParamValue(4, "RUS-GAMMAR"), 0);
    ASSERT_EQ(engine_->EncodeData(data, &size, nullptr), 0);
    calls = Fake().Calls("EncodeData");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(Fake().ParamsOf(Field(calls[1], 1))[3], "RUS-GAMMAR");
}

}  // namespace
}  // namespace vorlan::test

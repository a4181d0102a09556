// The base engine's operation table: fixed defaults, abstract operations, and the
// operations whose default forwards to another slot.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "engine/crypto_engine.h"
#include "recording_engine.h"
#include "support/errors.h"

namespace vorlan {
namespace {

struct Slot {
    const char* name;
    std::function<std::int32_t(TCryptoEngine&)> call;
    std::int32_t expected;
};

std::vector<Slot> Defaults() {
    char text[64] = {};
    unsigned char data[8] = {};
    std::int32_t n = 0;
    return {
        {"Reserved0", [](TCryptoEngine& e) { return e.Reserved0(); }, -1},
        {"Reserved1", [](TCryptoEngine& e) { return e.Reserved1(1, 2, 3); }, -1},
        {"Reserved2", [](TCryptoEngine& e) { return e.Reserved2(1, 2, 3); }, -1},
        {"Reserved3", [](TCryptoEngine& e) { return e.Reserved3(1, 2, 3); }, -1},
        {"Reserved4", [](TCryptoEngine& e) { return e.Reserved4(1, 2, 3); }, -1},
        {"Reserved5", [](TCryptoEngine& e) { return e.Reserved5(1, 2); }, -1},
        {"Reserved6", [](TCryptoEngine& e) { return e.Reserved6(1, 2, 3); }, -1},
        {"Reserved7", [](TCryptoEngine& e) { return e.Reserved7(1, 2, 3); }, -1},
        {"Reserved8", [](TCryptoEngine& e) { return e.Reserved8(1, 2, 3, 4); }, -1},
        {"GetMaxEncodeAddition", [](TCryptoEngine& e) { return e.GetMaxEncodeAddition(); }, 255},
        {"GetMaxSignatureLength", [](TCryptoEngine& e) { return e.GetMaxSignatureLength(); }, 255},
        {"GetMaxUIDLength", [](TCryptoEngine& e) { return e.GetMaxUIDLength(); }, 255},
        {"GetMaxCryptoParamNameLength", [](TCryptoEngine& e) { return e.GetMaxCryptoParamNameLength(); }, 255},
        {"GetMaxCryptoParamValueLength", [](TCryptoEngine& e) { return e.GetMaxCryptoParamValueLength(); }, 1024},
        {"GetMaxErrorStringLength", [](TCryptoEngine& e) { return e.GetMaxErrorStringLength(); }, 255},
        {"GetMaxPasswordLength", [](TCryptoEngine& e) { return e.GetMaxPasswordLength(); }, 255},
        {"GetCryptoParamNumber", [](TCryptoEngine& e) { return e.GetCryptoParamNumber(); }, 0},
        {"IncludePublicKey", [](TCryptoEngine& e) { return e.IncludePublicKey("a.pem"); }, -1},
        {"UpdateCertificateCash", [](TCryptoEngine& e) { return e.UpdateCertificateCash("a.pem"); }, -1},
        {"RemoveCertificate", [](TCryptoEngine& e) { return e.RemoveCertificate("UID"); }, -1},
        {"IncludeCRL", [](TCryptoEngine& e) { return e.IncludeCRL("c.pem"); }, -1},
        {"GenerateNewSSK", [](TCryptoEngine& e) { return e.GenerateNewSSK(); }, -1},
        {"GenerateNewSEK", [](TCryptoEngine& e) { return e.GenerateNewSEK(); }, -1},
        {"IsDifferentKeys", [](TCryptoEngine& e) { return std::int32_t{e.IsDifferentKeys()}; }, 0},
        {"IncludePublicEncodeKey", [](TCryptoEngine& e) { return e.IncludePublicEncodeKey("a.pem"); }, -1},
        {"SignFile", [](TCryptoEngine& e) { return e.SignFile(1); }, -1},
        {"VerifyFile", [](TCryptoEngine& e) { return e.VerifyFile(1, 2); }, -1},
        {"RemoveSignaturesFromFile", [](TCryptoEngine& e) { return e.RemoveSignaturesFromFile(1); }, -1},
        {"TransPrivateKeyFromFileToTM", [](TCryptoEngine& e) { return e.TransPrivateKeyFromFileToTM(); }, -1},
        {"TransSignatureFromFileToTM", [](TCryptoEngine& e) { return e.TransSignatureFromFileToTM(); }, -1},
        {"GetMaxPublicKeyTransferSize", [](TCryptoEngine& e) { return e.GetMaxPublicKeyTransferSize(); }, 4096},
        {"RemoteGenerateStart", [text](TCryptoEngine& e) mutable { return e.RemoteGenerateStart(text); }, -1},
        {"RemoteGenerateFinish", [](TCryptoEngine& e) { return e.RemoteGenerateFinish("t"); }, -1},
        {"ExcludeSelfPublicKeyTransfer",
         [text](TCryptoEngine& e) mutable { return e.ExcludeSelfPublicKeyTransfer(text); }, -1},
        {"IncludePublicKeyTransfer", [](TCryptoEngine& e) { return e.IncludePublicKeyTransfer("t"); }, -1},
        {"GetPublicKeyTransfer", [text](TCryptoEngine& e) mutable { return e.GetPublicKeyTransfer("U", text); }, -1},
        {"SavePublicKeyFromTransfer", [](TCryptoEngine& e) { return e.SavePublicKeyFromTransfer("d", "t"); }, -1},
        {"RemoteGenerateStartEx",
         [text, n](TCryptoEngine& e) mutable { return e.RemoteGenerateStartEx("n", text, &n); }, -1},
        {"RemoteGenerateFinishEx", [n](TCryptoEngine& e) mutable { return e.RemoteGenerateFinishEx("t", &n); }, -1},
        {"GetPublicKeyTransferByFile",
         [text](TCryptoEngine& e) mutable { return e.GetPublicKeyTransferByFile(text, "f"); }, -1},
        {"IncludeCACertificateFromTransfer",
         [](TCryptoEngine& e) { return e.IncludeCACertificateFromTransfer("t"); }, -1},
        {"AddSign", [data, n](TCryptoEngine& e) mutable { return e.AddSign(data, &n, "U"); }, -1},
        {"RemoveSign", [data, n, text](TCryptoEngine& e) mutable { return e.RemoveSign(data, &n, text); }, -1},
        {"GetMaxSignAddition", [](TCryptoEngine& e) { return e.GetMaxSignAddition(); }, 510},
        {"GetMaxEncodeAdditionFor", [](TCryptoEngine& e) { return e.GetMaxEncodeAdditionFor(3); }, 765},
        {"GetRemoteGenType", [](TCryptoEngine& e) { return e.GetRemoteGenType(); }, 1},
        {"GetMaxReportSize", [](TCryptoEngine& e) { return e.GetMaxReportSize(); }, -1},
        {"GetReport", [text](TCryptoEngine& e) mutable { return e.GetReport("U", text); }, -1},
        {"GetMaxAdditionEx", [](TCryptoEngine& e) { return e.GetMaxAdditionEx("A;B"); }, 510},
        {"GetUIDByPublicKeyTransfer",
         [text](TCryptoEngine& e) mutable { return e.GetUIDByPublicKeyTransfer("t", text); }, -1},
        {"GetPublicKeyPropertiesByTransfer",
         [text](TCryptoEngine& e) mutable { return e.GetPublicKeyPropertiesByTransfer("t", text); }, -1},
        {"GetPublicKeyPropertiesByFile",
         [text](TCryptoEngine& e) mutable { return e.GetPublicKeyPropertiesByFile("f", text); }, -1},
        {"CreateDirStructure", [](TCryptoEngine& e) { return e.CreateDirStructure("c", "a"); }, -1},
        {"ConvertTransferToSignedRequest", [](TCryptoEngine& e) { return e.ConvertTransferToSignedRequest(1); }, -1},
        {"HashData", [](TCryptoEngine& e) { return e.HashData(1, 2, 3, 4, 5); }, -1},
        {"ShowCertificate", [](TCryptoEngine& e) { return e.ShowCertificate(1); }, -1},
        {"GetPureSign", [](TCryptoEngine& e) { return e.GetPureSign(1, 2, 3, 4, 5); }, -1},
        {"GetUIDByCertIdent", [](TCryptoEngine& e) { return e.GetUIDByCertIdent(1, 2); }, -1},
        {"InstallCertsInMyStore", [](TCryptoEngine& e) { return e.InstallCertsInMyStore(1); }, -1},
        {"RegisterOIDInfo", [](TCryptoEngine& e) { return e.RegisterOIDInfo("1.2", u"x"); }, -1},
        {"GetParamInfo",
         [n, text](TCryptoEngine& e) mutable {
             std::int32_t len = 0;
             return e.GetParamInfo(1, &n, text, &len);
         },
         -1},
        {"IncludeByKind", [](TCryptoEngine& e) { return e.IncludeByKind(2, 0, 0, 0); }, -1},
        {"OperationByKind", [](TCryptoEngine& e) { return e.OperationByKind(4, 1, 2, 3, 4, 5); }, -1},
    };
}

TEST(CryptoEngineDefaults, EverySlotReturnsItsDefault) {
    TCryptoEngine engine;
    for (const Slot& slot : Defaults()) {
        EXPECT_EQ(slot.call(engine), slot.expected) << slot.name;
    }
}

TEST(CryptoEngineDefaults, AbstractOperationsRaise) {
    TCryptoEngine engine;
    char text[64] = {};
    unsigned char data[16] = {'a', 'b'};
    std::int32_t size = 2;
    EXPECT_THROW(engine.GetEngineName(text), EAbstractError);
    EXPECT_THROW(engine.GetEncodeUIDBySignUID("U", text), EAbstractError);
    EXPECT_THROW(engine.GetCurrentUserUID(text), EAbstractError);
    EXPECT_THROW(engine.EncodeData(data, &size, "A"), EAbstractError);
    EXPECT_THROW(engine.DecodeData(data, &size, text), EAbstractError);
    EXPECT_THROW(engine.SignData(data, 2, data, &size, "U"), EAbstractError);
    EXPECT_THROW(engine.VerifyData(data, 2, data, 2, text), EAbstractError);
    // The slot that forwards to VerifyData fails the same way on the base class.
    EXPECT_THROW(engine.VerifySignWOCheckValidity(data, 2, data, 2, text), EAbstractError);
    try {
        engine.GetEngineName(text);
    } catch (const std::exception& e) {
        EXPECT_EQ(ExceptionText(e).rfind("EAbstractError: ", 0), 0u) << ExceptionText(e);
    }
}

TEST(CryptoEngineDefaults, ForwardingSlotsCallTheirTargets) {
    test::RecordingEngine engine;
    EXPECT_EQ(engine.Reserved3(7, 8, 9), 102);  // Reserved3 -> Reserved2
    const unsigned char data[] = {'x', 'y'};
    const unsigned char sig[] = {1, 2, 3};
    char signer[8] = {};
    EXPECT_EQ(engine.VerifySignWOCheckValidity(data, 2, sig, 3, signer), 30);
    EXPECT_STREQ(signer, "UID1");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"Reserved2(7,8,9)", "VerifyData(xy,3)"}));
}

TEST(CryptoEngineDefaults, SizeDefaultsFollowOverridesAndWrap) {
    struct Big : TCryptoEngine {
        std::int32_t GetMaxEncodeAddition() override { return 0x40000000; }
        std::int32_t GetMaxSignatureLength() override { return INT_MAX; }
    } engine;
    EXPECT_EQ(engine.GetMaxEncodeAdditionFor(2), INT_MIN);  // 32-bit product
    EXPECT_EQ(engine.GetMaxEncodeAdditionFor(0), 0);
    EXPECT_EQ(engine.GetMaxSignAddition(), INT_MIN + 254);
    EXPECT_EQ(engine.GetMaxAdditionEx(nullptr), 0x40000000);
    TCryptoEngine base;
    EXPECT_EQ(base.GetMaxEncodeAdditionFor(-2), -510);
}

TEST(CryptoEngineDefaults, MaxAdditionCountsRecipients) {
    TCryptoEngine engine;
    EXPECT_EQ(engine.GetMaxAdditionEx(nullptr), 255);
    EXPECT_EQ(engine.GetMaxAdditionEx(""), 255);
    EXPECT_EQ(engine.GetMaxAdditionEx("A"), 255);
    EXPECT_EQ(engine.GetMaxAdditionEx("A;B;C"), 3 * 255);
    EXPECT_EQ(engine.GetMaxAdditionEx("A;"), 2 * 255);
    EXPECT_EQ(engine.GetMaxAdditionEx(";"), 2 * 255);
}

TEST(CryptoEngineDefaults, CertAndRequestMatchReportsNoMatch) {
    TCryptoEngine engine;
    std::int32_t match = 5;
    EXPECT_EQ(engine.CertAndRequestTransferMatch("c", "r", &match), 0);
    EXPECT_EQ(match, -1);
    EXPECT_EQ(engine.CertAndRequestTransferMatch("c", "r", nullptr), 0);
}

TEST(CryptoEngineDefaults, CallbacksAreKeptOnly) {
    TCryptoEngine engine;
    EXPECT_EQ(engine.PasswordRequestFunc, nullptr);
    EXPECT_EQ(engine.TMRequestFunc, nullptr);
    int marker = 0;
    engine.SetPasswordRequestFunc(&marker);
    EXPECT_EQ(engine.PasswordRequestFunc, &marker);
    engine.SetPasswordRequestFunc(nullptr);
    EXPECT_EQ(engine.PasswordRequestFunc, nullptr);
}

TEST(CryptoEngineDefaults, LastErrorMessageIsEmptyAndAssertsOnNull) {
    TCryptoEngine engine;
    char buffer[4] = {'x', 'x', 'x', 'x'};
    engine.GetLastErrorMessage(buffer);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    try {
        engine.GetLastErrorMessage(nullptr);
        FAIL() << "a null buffer must assert";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Assertion failure (dlls.sys\\Cryptlib\\cryptobj, line 719)");
    }
}

TEST(CryptoEngineDefaults, ErrorStringClearsItsAreaAndNamesTheCode) {
    TCryptoEngine engine;
    std::string buffer(300, 'x');
    engine.GetCryptoErrorString(-102, buffer.data());
    EXPECT_STREQ(buffer.c_str(), "CRYPTO ENGINE ERROR : -102");
    EXPECT_EQ(buffer.find_first_not_of('\0', 26), 255u);  // zeros up to the area's end, then untouched
    engine.GetCryptoErrorString(INT_MIN, buffer.data());
    EXPECT_STREQ(buffer.c_str(), "CRYPTO ENGINE ERROR : -2147483648");
    engine.GetCryptoErrorString(7, buffer.data());
    EXPECT_STREQ(buffer.c_str(), "CRYPTO ENGINE ERROR : 7");
    engine.GetCryptoErrorString(7, nullptr);  // no crash

    struct Tiny : TCryptoEngine {
        std::int32_t GetMaxErrorStringLength() override { return 10; }
    } tiny;
    std::string small(12, 'x');
    tiny.GetCryptoErrorString(-1, small.data());
    EXPECT_EQ(small, std::string("CRYPTO EN\0xx", 12));
}

}  // namespace
}  // namespace vorlan

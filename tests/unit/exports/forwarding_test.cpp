// The exports forward to exactly one engine operation, arguments in order, results
// unchanged; anything escaping the engine becomes the export's fixed result.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "mock_engine.h"

namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrEq;
using ::testing::Throw;
using vorlan::testing::LiveMock;

TEST(Forwarding, ArgumentsArriveInOrderAndResultsComeBackUnchanged) {
    LiveMock mock;
    unsigned char data[4] = {1, 2, 3, 4};
    std::int32_t size = 4;
    EXPECT_CALL(*mock.engine, EncodeData(data, &size, StrEq("A;B"))).WillOnce(Return(-4711));
    EXPECT_EQ(EncodeData(mock.handle, data, &size, "A;B"), -4711);

    unsigned char signature[8];
    std::int32_t signatureLength = 8;
    EXPECT_CALL(*mock.engine, SignData(data, 3, signature, &signatureLength, StrEq("USER01")))
        .WillOnce(DoAll(SetArgPointee<3>(5), Return(0)));
    EXPECT_EQ(SignData(mock.handle, data, 3, signature, &signatureLength, "USER01"), 0);
    EXPECT_EQ(signatureLength, 5);

    std::int32_t kind = 0, length = 0;
    char hint[16];
    EXPECT_CALL(*mock.engine, GetParamInfo(7, &kind, hint, &length)).WillOnce(Return(3));
    EXPECT_EQ(GetParamInfo(mock.handle, 7, &kind, hint, &length), 3);

    EXPECT_CALL(*mock.engine, HashData(1, 2, 3, 4, 5)).WillOnce(Return(9));
    EXPECT_EQ(HashData(mock.handle, 1, 2, 3, 4, 5), 9);
}

TEST(Forwarding, OperationsWithoutResultReachTheEngine) {
    LiveMock mock;
    char name[32] = {};
    EXPECT_CALL(*mock.engine, GetCryptoParamName(2, name)).WillOnce([](std::int32_t, char* out) {
        std::strcpy(out, "Cipher");
    });
    GetCryptoParamName(mock.handle, 2, name);
    EXPECT_STREQ(name, "Cipher");
}

TEST(Forwarding, EscapingErrorsBecomeTheFixedResult) {
    LiveMock mock;
    EXPECT_CALL(*mock.engine, GetMaxUIDLength()).WillOnce(Throw(std::runtime_error("size")));
    EXPECT_EQ(GetMaxUIDLength(mock.handle), -1);
    EXPECT_CALL(*mock.engine, SetCryptoParamValue(1, StrEq("x"))).WillOnce(Throw(std::bad_alloc()));
    EXPECT_EQ(SetCryptoParamValue(mock.handle, 1, "x"), -102);
    EXPECT_CALL(*mock.engine, GenerateNewSSK()).WillOnce(Throw(42));  // not even an exception class
    EXPECT_EQ(GenerateNewSSK(mock.handle), -102);
    EXPECT_CALL(*mock.engine, GetCryptoParamName(1, _)).WillOnce(Throw(std::logic_error("swallowed")));
    GetCryptoParamName(mock.handle, 1, nullptr);
    EXPECT_CALL(*mock.engine, IsDifferentKeys()).WillOnce(Throw(std::runtime_error("keys")));
    EXPECT_EQ(IsDifferentKeys(mock.handle), -1);
}

TEST(Forwarding, PropertiesExportsUseTheReportOperations) {
    LiveMock mock;
    EXPECT_CALL(*mock.engine, GetMaxReportSize()).Times(2).WillRepeatedly(Return(8192));
    EXPECT_EQ(GetMaxPublicKeyPropertiesLength(mock.handle), 8192);
    EXPECT_EQ(GetMaxReportSize(mock.handle), 8192);

    char report[16];
    EXPECT_CALL(*mock.engine, GetReport(StrEq("USER02"), report)).Times(2).WillRepeatedly(Return(-110));
    EXPECT_EQ(GetPublicKeyProperties(mock.handle, "USER02", report), -110);
    EXPECT_EQ(GetReport(mock.handle, "USER02", report), -110);
}

TEST(Forwarding, IsDifferentKeysMapsTheTruthValue) {
    LiveMock mock;
    EXPECT_CALL(*mock.engine, IsDifferentKeys()).WillOnce(Return(true)).WillOnce(Return(false));
    EXPECT_EQ(IsDifferentKeys(mock.handle), -1);
    EXPECT_EQ(IsDifferentKeys(mock.handle), 0);
}

TEST(Forwarding, UpdateCertificateCashClearsTheCacheWhenNotProvided) {
    LiveMock mock;
    {
        ::testing::InSequence order;
        EXPECT_CALL(*mock.engine, UpdateCertificateCash(StrEq("a.pem"))).WillOnce(Return(-1));
        EXPECT_CALL(*mock.engine, ClearCash());
    }
    EXPECT_EQ(UpdateCertificateCash(mock.handle, "a.pem"), 0);

    // Other results pass through and leave the cache alone.
    EXPECT_CALL(*mock.engine, UpdateCertificateCash(StrEq("b.pem"))).WillOnce(Return(-106)).WillOnce(Return(0));
    EXPECT_EQ(UpdateCertificateCash(mock.handle, "b.pem"), -106);
    EXPECT_EQ(UpdateCertificateCash(mock.handle, "b.pem"), 0);

    // A failing ClearCash is swallowed; the export still answers 0.
    EXPECT_CALL(*mock.engine, UpdateCertificateCash(StrEq("c.pem"))).WillOnce(Return(-1));
    EXPECT_CALL(*mock.engine, ClearCash()).WillOnce(Throw(std::runtime_error("cache")));
    EXPECT_EQ(UpdateCertificateCash(mock.handle, "c.pem"), 0);
}

TEST(Forwarding, SetTMRequestFuncOnlyStoresTheCallback) {
    LiveMock mock;  // strict: any operation call would fail the test
    int callback = 0;
    SetTMRequestFunc(mock.handle, &callback);
    EXPECT_EQ(mock.engine->TMRequestFunc, &callback);
}

TEST(Forwarding, RegisterOIDInfoWidensTheSecondText) {
    LiveMock mock;
    std::string first;
    std::u16string second;
    EXPECT_CALL(*mock.engine, RegisterOIDInfo(_, _))
        .WillRepeatedly([&](const char* a, const char16_t* b) {
            first = a;
            second = b;
            return -1;
        });
    EXPECT_EQ(RegisterOIDInfo(mock.handle, "1.2.643.2.2.3", "GOST R 34.10"), -1);
    EXPECT_EQ(first, "1.2.643.2.2.3");
    EXPECT_EQ(second, u"GOST R 34.10");

    EXPECT_EQ(RegisterOIDInfo(mock.handle, nullptr, nullptr), -1);  // null texts are empty texts
    EXPECT_EQ(first, "");
    EXPECT_EQ(second, u"");
#ifndef _WIN32
    EXPECT_EQ(RegisterOIDInfo(mock.handle, "x", "ÄИ\xE9"), -1);  // UTF-8; a byte that is none reads as U+FFFD
    EXPECT_EQ(second, u"ÄИ\uFFFD");
#endif
}

}  // namespace

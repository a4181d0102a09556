// Creating and destroying engines through the exports, and what the new engine answers
// for the operations it takes unchanged from the base class.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "support/thread_gate.h"
#include "mock_engine.h"

namespace {

using ::testing::Return;
using vorlan::test::ThreadGate;
using vorlan::testing::MockEngine;

TEST(Engines, EveryGetCryptObjGivesANewEngineWhateverItsArgument) {
    std::set<VORLAN_HANDLE> handles;
    for (int32_t argument : {0, 1, -1, 0x7fffffff}) {
        VORLAN_HANDLE engine = GetCryptObj(argument);
        ASSERT_NE(engine, nullptr);
        EXPECT_TRUE(handles.insert(engine).second);
    }
    for (VORLAN_HANDLE engine : handles) DoneEngine(engine);
}

TEST(Engines, DefaultOnlyOperationsAnswerMinusOneWhateverTheArguments) {
    VORLAN_HANDLE engine = GetCryptObj(0);
    ASSERT_NE(engine, nullptr);
    for (intptr_t a : {intptr_t{0}, intptr_t{1}, intptr_t{-5}}) {
        EXPECT_EQ(SignFile(engine, a), -1);
        EXPECT_EQ(VerifyFile(engine, a, a), -1);
        EXPECT_EQ(RemoveSignaturesFromFile(engine, a), -1);
        EXPECT_EQ(ConvertTransferToSignedRequest(engine, a), -1);
        EXPECT_EQ(HashData(engine, a, a, a, a, a), -1);
        EXPECT_EQ(ShowCertificate(engine, a), -1);
        EXPECT_EQ(GetPureSign(engine, a, a, a, a, a), -1);
        EXPECT_EQ(GetUIDByCertIdent(engine, a, a), -1);
        EXPECT_EQ(InstallCertsInMyStore(engine, a), -1);
    }
    EXPECT_EQ(RegisterOIDInfo(engine, "1.2.3", "name"), -1);
    EXPECT_EQ(IsDifferentKeys(engine), 0);
    EXPECT_EQ(GetMaxFilePathLength(engine), 255);
    DoneEngine(engine);
}

TEST(Engines, DoneEngineDuringACallDestroysTheEngineWhenTheCallReturns) {
    auto owned = std::make_unique<::testing::StrictMock<MockEngine>>();
    MockEngine* engine = owned.get();
    VORLAN_HANDLE handle = vorlan::exports::AdoptEngine(std::move(owned));

    ThreadGate inCall, released;
    bool destroyed = false;
    EXPECT_CALL(*engine, Destroyed()).WillOnce([&] { destroyed = true; });
    EXPECT_CALL(*engine, GetMaxUIDLength()).WillOnce([&] {
        inCall.Open();
        released.Wait();
        return 40;  // the engine is still intact here
    });
    std::int32_t result = 0;
    std::thread caller([&] { result = GetMaxUIDLength(handle); });
    inCall.Wait();
    DoneEngine(handle);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(GetMaxUIDLength(handle), -1);  // already gone for new calls
    released.Open();
    caller.join();
    EXPECT_EQ(result, 40);
    EXPECT_TRUE(destroyed);
}

}  // namespace

// A scripted engine for the export tests, and a helper that puts it behind a live handle.
#pragma once

#include <gmock/gmock.h>

#include <memory>

#include "engine/crypto_engine.h"
#include "exports/handle_set.h"
#include "vorlan13.h"

namespace vorlan::testing {

class MockEngine : public TCryptoEngine {
public:
    MOCK_METHOD(std::int32_t, GetMaxUIDLength, (), (override));
    MOCK_METHOD(std::int32_t, GetMaxReportSize, (), (override));
    MOCK_METHOD(std::int32_t, GetReport, (const char*, char*), (override));
    MOCK_METHOD(void, GetCryptoParamName, (std::int32_t, char*), (override));
    MOCK_METHOD(std::int32_t, SetCryptoParamValue, (std::int32_t, const char*), (override));
    MOCK_METHOD(std::int32_t, EncodeData, (unsigned char*, std::int32_t*, const char*), (override));
    MOCK_METHOD(std::int32_t, SignData,
                (const unsigned char*, std::int32_t, unsigned char*, std::int32_t*, const char*), (override));
    MOCK_METHOD(std::int32_t, GetParamInfo, (std::int32_t, std::int32_t*, char*, std::int32_t*), (override));
    MOCK_METHOD(std::int32_t, HashData, (Word, Word, Word, Word, Word), (override));
    MOCK_METHOD(bool, IsDifferentKeys, (), (override));
    MOCK_METHOD(std::int32_t, UpdateCertificateCash, (const char*), (override));
    MOCK_METHOD(void, ClearCash, (), (override));
    MOCK_METHOD(std::int32_t, RegisterOIDInfo, (const char*, const char16_t*), (override));
    MOCK_METHOD(std::int32_t, GenerateNewSSK, (), (override));
    MOCK_METHOD(void, Destroyed, ());
    ~MockEngine() override { Destroyed(); }
};

// LiveMock: a strict mock engine adopted into the handle set, destroyed with DoneEngine.
struct LiveMock {
    LiveMock() {
        auto owned = std::make_unique<::testing::StrictMock<MockEngine>>();
        engine = owned.get();
        EXPECT_CALL(*engine, Destroyed()).Times(::testing::AnyNumber());
        handle = exports::AdoptEngine(std::move(owned));
    }
    ~LiveMock() { DoneEngine(handle); }
    LiveMock(const LiveMock&) = delete;
    LiveMock& operator=(const LiveMock&) = delete;

    ::testing::StrictMock<MockEngine>* engine;
    VORLAN_HANDLE handle;
};

}  // namespace vorlan::testing

// Key generation for the PSE and the start steps of key renewal against the fake toolkit:
// the request's subject, the step table of both families, the exclusive PSELock across
// calls, and the check that the key generation utility made a new container.
#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "engine_fixture.h"
#include "engine/subject_utils.h"
#include "pse/pse_key_set.h"
#include "pse/pse_lock.h"
#include "pse/pse_renewal_names.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class RenewalStepsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        for (const char* dir : {"R", "B", "P"}) ASSERT_TRUE(CreateDirectoryPath(Path(dir)));
        engine_->SetRemoteGeneratePath(Path("R").c_str());
        WriteFile("own.pem", "own certificate");
        WriteFile("certs\\USER01.pem", "filed own certificate");  // the test signature's signer
        const std::pair<int, std::string> params[] = {
            {1, Path("own.pem")}, {3, Path("P")}, {9, Path("req.pem")}, {11, "RU"}, {12, "Moscow region"},
            {13, "Moscow"},       {14, "Bank"},  {15, "IT"},           {16, "PARAM CN"}, {17, "it@bank"},
            {21, "1"},            {23, Path("B")}, {24, "Clerk"}};
        for (const auto& [index, value] : params) ASSERT_EQ(engine_->SetCryptoParamValue(index, value.c_str()), 0);
        Fake().SetText("GetCurrentUID", "/C=DE/O=Old Bank/CN=USER01/T=Boss");  // within the fake's 40 bytes
        Fake().SetText("PSePrivateKeyBackup", "container-1");
    }
    // Request: the toolkit parameters of the last request context, and its MakeRequestForPSE line.
    std::vector<std::string> Request(std::string* call = nullptr) {
        const auto calls = Fake().Calls("MakeRequestForPSE");
        if (calls.empty()) return {};
        if (call != nullptr) *call = calls.back();
        auto params = Fake().ParamsOf(Field(calls.back(), 1));
        params.resize(26);
        return params;
    }
    // Start: one RemoteGenerateStartEx call; the step afterwards.
    std::int32_t Start(std::int32_t step, std::int32_t* result, const char* name = nullptr) {
        *result = engine_->RemoteGenerateStartEx(name, marker_, &step);
        return step;
    }
    // ExpectOthersWait: another engine's encryption on another thread waits while this engine
    // holds the PSELock (it cannot finish before the release) and succeeds otherwise.
    void ExpectOthersWait(bool held) {
        TMProWinCryptoEngine other;
        EXPECT_EQ(other.SetCryptoParamValue(20, "SN"), 0);  // the recipient UID needs no certificate
        std::atomic<bool> done{false};
        std::int32_t result = -1;
        std::thread thread([&] {
            unsigned char data[16] = "x";
            std::int32_t size = 1;
            result = other.EncodeData(data, &size, "A");
            done = true;
        });
        if (held) {
            for (int i = 0; i < 20 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_FALSE(done) << "encryption ran while the lock was held";
            engine_->ReleasePSELock();
        }
        thread.join();
        EXPECT_EQ(result, 0);
    }
    char marker_[64] = {};
};

TEST_F(RenewalStepsTest, GenerateNewSEKRequestsForThePSEWithTheParameterSubject) {
    for (auto generate : {&TMProWinCryptoEngine::GenerateNewSEK, &TMProWinCryptoEngine::GenerateNewSSK}) {
        engine_->ClearCash();  // contexts the fake is about to forget
        Fake().Reset();
        Fake().SetResult("MakeRequestForPSE", -7);
        EXPECT_EQ((engine_.get()->*generate)(), -7) << "the toolkit's result unchanged";
        std::string call;
        const auto p = Request(&call);
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(Field(call, 2), Path("P"));
        EXPECT_EQ(Field(call, 3), Path("req.pem"));
        const std::vector<std::pair<int, std::string>> expected = {
            {2, Path("P")}, {15, "PARAM CN"}, {10, "RU"}, {11, "Moscow region"}, {12, "Moscow"}, {13, "Bank"},
            {14, "IT"},     {16, "it@bank"},  {23, "Clerk"}, {20, ""}};
        for (const auto& [index, value] : expected) EXPECT_EQ(p[index], value) << "toolkit parameter " << index;
        for (const auto& line : Fake().Calls("SetCryptoParamValue"))
            EXPECT_NE(Field(line, 2), "0") << "no own certificate for a new PSE";
        EXPECT_EQ(Fake().CallCount("DoneCrypto"), 1) << "the request context is closed";
    }
}

TEST(RenewalTimeStamp, LocalDateAndTimeIn22Characters) {
    EXPECT_EQ(RenewalTimeStamp(0), " (30-12-1899 00-00-00)");
    EXPECT_EQ(RenewalTimeStamp(45000.5), " (15-03-2023 12-00-00)");
    EXPECT_EQ(RenewalTimeStamp(36526.75), " (01-01-2000 18-00-00)");
    EXPECT_EQ(RenewalTimeStamp(60000 + 86399.0 / 86400), " (08-04-2064 23-59-59)");
    EXPECT_EQ(RenewalTimeStamp(45000.9999999999), " (16-03-2023 00-00-00)") << "rounding carries into the next day";
    EXPECT_EQ(RenewalTimeStamp(45000.5).size(), 22u);
}

TEST_F(RenewalStepsTest, StepTableOfBothFamilies) {
    struct Case {
        std::int32_t entry;
        bool lastStep;
        std::int32_t exit;
        bool holds;
    };
    const Case cases[] = {
        {0, false, 2, false},  {10, false, 12, false}, {7, false, 7, false},   {1, false, 1, false},
        {4, false, 4, false},  {2, false, 3, true},    {12, false, 13, true},  {3, false, 5, false},
        {13, false, 15, false}, {5, false, 2, false},  {15, false, 12, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("step " + std::to_string(c.entry));
        std::snprintf(marker_, sizeof marker_, "%s", c.lastStep ? "LAST STEP" : "");
        std::int32_t result = 0;
        EXPECT_EQ(Start(c.entry, &result), c.exit);
        EXPECT_EQ(engine_->HoldsPSELock, c.holds);
        // Steps 5 and 15 find the backup text unchanged (-118) and give the lock back.
        EXPECT_EQ(result, c.entry % 10 == 5 ? -118 : 0);
        ExpectOthersWait(c.holds);
    }
}

// A host that restarts the protocol while the lock is held does not take it twice: the
// failure that ends the renewal frees it for good.
TEST_F(RenewalStepsTest, RestartedProtocolTakesTheLockOnce) {
    std::int32_t result = 0;
    ASSERT_EQ(Start(2, &result), 3);
    ASSERT_EQ(Start(2, &result), 3);
    ASSERT_EQ(Start(3, &result), 5);
    EXPECT_EQ(ReadFile("R\\backup.key"), "container-1");
    EXPECT_EQ(Start(5, &result), 2);
    EXPECT_EQ(result, -118);
    EXPECT_FALSE(engine_->HoldsPSELock);
    ExpectOthersWait(false);
    EXPECT_EQ(Fake().CallCount("MakeRequestForPSE"), 0);

    platform::DeleteFile(Path("own.pem"));
    EXPECT_EQ(Start(2, &result), 1);
    EXPECT_EQ(result, -113);
    Fake().SetResult("SignData", -4);
    WriteFile("own.pem", "own certificate");
    EXPECT_EQ(Start(2, &result), 1);
    EXPECT_EQ(result, -4) << "a signature key that does not work stops the renewal";
    EXPECT_FALSE(engine_->HoldsPSELock);
    engine_->SetRemoteGeneratePath(Path("missing").c_str());
    EXPECT_EQ(Start(2, &result), 1);
    EXPECT_EQ(result, -109);
    std::int32_t* noStep = nullptr;
    EXPECT_EQ(engine_->RemoteGenerateStartEx(nullptr, marker_, noStep), -101);
}

TEST_F(RenewalStepsTest, RequestSubjectAndSubscriberName) {
    struct Case {
        const char* what;
        const char* uidField;
        const char* name;
        std::int32_t step;  // 5: subject from the certificate, 15: from the parameters
        const char* subject;  // what the toolkit reads from self.pem
        int field;            // toolkit parameter of the subscriber name
        const char* expected;  // regular expression
    };
    const Case cases[] = {
        {"given name", "", "NEW NAME", 5, "/C=DE/CN=USER01/O=Old Bank", 15, "NEW NAME"},
        {"stamp appended", "CN", nullptr, 5, "/C=DE/CN=USER01/O=Old Bank", 15,
         R"(USER01 \(\d\d-\d\d-\d{4} \d\d-\d\d-\d\d\))"},
        {"old stamp replaced", "", "", 5, "/CN=USER01 (01-02-2020 03-04-05)", 15,
         R"(USER01 \((?!01-02-2020)\d\d-\d\d-\d{4} \d\d-\d\d-\d\d\))"},
        {"SN: the serial, no stamp, in no field", "SN", nullptr, 15, "/CN=USER01/SN=0A1B", 15, "PARAM CN"},
        {"organisation field", "o", "Branch 7", 5, "/C=DE/CN=USER01/O=Old Bank", 13, "Branch 7"},
    };
    ASSERT_TRUE(CreateDirectoryPath(Path("B\\DB\\CRYPT")) && CreateDirectoryPath(Path("B\\DB\\SIGN")));
    for (const auto& file : kKeySet) WriteFile("B\\" + std::string(file.name), file.name);  // the utility's container
    WriteFile("certs\\USER01 (01-02-2020 03-04-05).pem", "renewed before");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        engine_->ClearCash();  // contexts the fake is about to forget
        Fake().Reset();
        UseUIDField(c.uidField);
        Fake().SetText("GetCurrentUID", c.subject);
        Fake().SetText("PSePrivateKeyBackup", "container-1");
        std::int32_t result = 0;
        std::memset(marker_, 0, sizeof marker_);
        ASSERT_EQ(Start(2, &result), 3) << result;
        ASSERT_EQ(Start(3, &result), 5) << result;
        Fake().SetText("PSePrivateKeyBackup", "container-2");  // the utility ran
        EXPECT_EQ(Start(c.step, &result, c.name), c.step - 3);
        ASSERT_EQ(result, 0);
        EXPECT_STREQ(marker_, "LAST STEP");
        EXPECT_TRUE(engine_->HoldsPSELock) << "held until the last step";
        std::string call;
        const auto p = Request(&call);
        ASSERT_FALSE(p.empty());
        EXPECT_TRUE(std::regex_match(p[c.field], std::regex(c.expected))) << p[c.field];
        EXPECT_EQ(Field(call, 2), Path("B\\"));
        EXPECT_EQ(Field(call, 3), Path("R\\") + kRequestFileName);
        EXPECT_EQ(p[0], Path("R\\self.pem"));
        EXPECT_EQ(p[2], Path("B\\"));
        EXPECT_EQ(p[20], "1") << "parameter 21";
        for (const auto& file : kKeySet) EXPECT_EQ(ReadFile("R\\" + std::string(file.name)), file.name);
        const bool fromParams = c.step == 15;
        EXPECT_EQ(p[10], fromParams ? "RU" : ExtractSubjectComponent(c.subject, "/C="));
        if (c.field != 13) {
            EXPECT_EQ(p[13], fromParams ? "Bank" : ExtractSubjectComponent(c.subject, "/O="));
        }
        engine_->ReleasePSELock();
    }
}

}  // namespace
}  // namespace vorlan::test

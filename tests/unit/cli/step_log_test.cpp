// Step lines and the exit code: a failed step shows its code and text on one line, and any
// failed step (or no step at all) makes the run fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "captured_log.h"
#include "step_log.h"

namespace vorlan::cli {
namespace {

TEST(StepLine, ShowsCodeAndTextOfFailures) {
    EXPECT_EQ(StepLine("IncludeCRL", 0, "", true), "  ok    IncludeCRL: 0");
    EXPECT_EQ(StepLine("USER02 decrypts", -1009, "Decryption failed", false),
              "  FAIL  USER02 decrypts: -1009 (Decryption failed)");
    // An expected refusal passes and still shows why the library refused.
    EXPECT_EQ(StepLine("tampered", -1013, "Signature does not match", true),
              "  ok    tampered: -1013 (Signature does not match)");
    // A text for success is not shown: code 0 has nothing to explain.
    EXPECT_EQ(StepLine("sign", 0, "leftover", true), "  ok    sign: 0");
}

TEST(StepLine, StaysOnOneLine) {
    const std::string line = StepLine("what\r\n", -5, "first\r\nsecond\n", false);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    EXPECT_EQ(line, "  FAIL  what  : -5 (first  second )");
}

TEST(StepLog, ExitCodeNeedsEveryStepPassed) {
    CapturedFile file(std::tmpfile());
    ASSERT_NE(file, nullptr);
    StepLog log(file.get());
    EXPECT_EQ(log.ExitCode(), 1) << "a run without steps proved nothing";
    EXPECT_TRUE(log.Step("first", 0, "", true));
    EXPECT_TRUE(log.Step("refused as expected", -1013, "bad signature", true));
    EXPECT_EQ(log.ExitCode(), 0);
    EXPECT_FALSE(log.Step("second", -113, "no certificate", false));
    log.Note("information is no step");
    EXPECT_TRUE(log.Step("third", 0, "", true));
    EXPECT_EQ(log.Steps(), 4);
    EXPECT_EQ(log.Failures(), 1);
    EXPECT_EQ(log.ExitCode(), 1) << "a later success does not undo a failure";

    const std::string text = Written(file.get());
    EXPECT_NE(text.find("  FAIL  second: -113 (no certificate)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("        information is no step\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vorlan::cli

// A host process that encrypts for a correspondent whose certificate was filed a moment
// ago, then returns from main: it exits with 0 and its buffered output arrives whole.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "installation.h"
#include "platform/platform.h"

namespace vorlan::test {
namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class HostExitTest : public ::testing::TestWithParam<Algorithm> {};

TEST_P(HostExitTest, EncryptForFreshCertificateThenReturnFromMain) {
    const Installation* install = Installation::Get(GetParam());
    if (install == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
    // A new file, so the filed copy carries the time of a moment ago.
    const std::string staged = install->Path("staging\\fresh_USER02.pem");
    std::ofstream(platform::NativePath(staged), std::ios::binary | std::ios::trunc)
        << platform::ReadWholeFile(install->Path("USER02\\own.pem")).value_or("");
    std::string cmd = Quoted(platform::NativePath(std::string(std::getenv("VORLAN_BIN_DIR")) + "/encrypt_then_exit")) +
                      " " + Quoted(Installation::Root()) + " " + Quoted(staged) + " USER02";
    for (const auto& [index, value] : install->Params("USER01")) cmd += " " + Quoted(std::to_string(index) + "=" + value);
    FILE* host = popen((cmd + " 2>&1").c_str(), "r");
    ASSERT_NE(host, nullptr);
    std::string output;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, host) != nullptr) output += chunk;
    const int status = pclose(host);
    ASSERT_TRUE(WIFEXITED(status)) << "the host died at exit; output: " << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output, "IncludePublicKey 0\nEncodeData 0\n");
}

INSTANTIATE_TEST_SUITE_P(Algorithms, HostExitTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "Gost" : "Rsa"; });

}  // namespace
}  // namespace vorlan::test

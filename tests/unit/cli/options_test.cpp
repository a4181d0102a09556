// The command line of "vorlan demo": algorithms, --keep, the library directory, bad input.
#include <gtest/gtest.h>

#include "options.h"

namespace vorlan::cli {
namespace {

using Algorithms = std::vector<DemoAlgorithm>;

Options Parsed(const std::vector<std::string>& args) {
    std::string error;
    const auto options = ParseOptions(args, error);
    EXPECT_TRUE(options.has_value()) << error;
    return options.value_or(Options{});
}

std::string Refused(const std::vector<std::string>& args) {
    std::string error;
    EXPECT_FALSE(ParseOptions(args, error).has_value());
    return error;
}

TEST(DemoOptions, AlgorithmsRunInTheOrderNamedOnce) {
    EXPECT_EQ(Parsed({}).algorithms, Algorithms{DemoAlgorithm::Gost});
    EXPECT_EQ(Parsed({"--rsa"}).algorithms, Algorithms{DemoAlgorithm::Rsa});
    EXPECT_EQ(Parsed({"--both"}).algorithms, (Algorithms{DemoAlgorithm::Gost, DemoAlgorithm::Rsa}));
    EXPECT_EQ(Parsed({"--rsa", "--gost"}).algorithms, (Algorithms{DemoAlgorithm::Rsa, DemoAlgorithm::Gost}));
    EXPECT_EQ(Parsed({"--rsa", "--both", "--rsa"}).algorithms, (Algorithms{DemoAlgorithm::Rsa, DemoAlgorithm::Gost}));
}

TEST(DemoOptions, KeepAndLibraryDirectory) {
    const Options plain = Parsed({"--rsa"});
    EXPECT_FALSE(plain.keep);
    EXPECT_EQ(plain.libraryDirectory, "");
    const Options positional = Parsed({"build/bin", "--keep"});
    EXPECT_TRUE(positional.keep);
    EXPECT_EQ(positional.libraryDirectory, "build/bin");
    EXPECT_EQ(Parsed({"--lib", "/opt/v13", "--both"}).libraryDirectory, "/opt/v13");
    // A directory named like an option is reachable through --lib.
    EXPECT_EQ(Parsed({"--lib", "--keep"}).libraryDirectory, "--keep");
}

TEST(DemoOptions, BadInputIsRefusedWithAReason) {
    EXPECT_EQ(Refused({"--rsaa"}), "unknown option: --rsaa");
    EXPECT_EQ(Refused({"-"}), "unknown option: -");
    EXPECT_EQ(Refused({""}), "unknown option: ");
    EXPECT_EQ(Refused({"--lib"}), "--lib needs a directory");
    EXPECT_EQ(Refused({"--lib", ""}), "empty library directory");
    EXPECT_EQ(Refused({"one", "two"}), "more than one library directory");
    EXPECT_EQ(Refused({"one", "--lib", "two"}), "more than one library directory");
}

TEST(DemoOptions, AlgorithmNames) {
    EXPECT_STREQ(AlgorithmName(DemoAlgorithm::Gost), "GOST");
    EXPECT_STREQ(AlgorithmName(DemoAlgorithm::Rsa), "RSA");
}

}  // namespace
}  // namespace vorlan::cli

// A write that stops short is reported as a failure and leaves no partial file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>

#include "platform/platform.h"
#include "support/file_utils.h"
#include "unit/platform/test_dirs.h"

namespace vorlan::platform {
namespace {

// FileSizeLimit: limits the size of files this process writes, restored on scope exit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // get EFBIG instead of the signal
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_ {};
    void (*previousHandler_)(int) = nullptr;
};

TEST(PlatformWriteFailure, ShortWriteFailsAndRemovesThePartialFile) {
    vorlan::testing::ScratchDir dir;
    {
        FileSizeLimit limit(4);
        EXPECT_FALSE(WriteWholeFile(dir / "big.bin", "0123456789", 10));
        EXPECT_FALSE(WriteFileBuffer(dir / "big2.bin", "0123456789", 10));
        EXPECT_TRUE(WriteWholeFile(dir / "small.bin", "0123", 4));
    }
    EXPECT_FALSE(FileExists(dir / "big.bin"));
    EXPECT_FALSE(FileExists(dir / "big2.bin"));
    EXPECT_EQ(ReadWholeFile(dir / "small.bin"), "0123");
}

}  // namespace
}  // namespace vorlan::platform
#endif

// Key database exchange: checks before any change, ".old" copies, copied files, the
// rollback that leaves the complete old set when a step fails, and the files' modes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "binding/mpro_dll.h"
#include "fake_fixture.h"
#include "platform/fault_injection.h"
#include "support/fault_walk.h"

namespace vorlan::test {
namespace {

namespace fs = std::filesystem;

const char* const kKeyFiles[] = {"gk.db3", "uz.db3", "num", "DB/CRYPT/ckd.key", "DB/CRYPT/net_ks.key"};
const char* const kBackups[] = {"gk.old", "uz.old", "num.old", "DB/CRYPT/ckd.old", "DB/CRYPT/net_ks.old"};

class KeyExchange : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_FAKE_VARIANT("complete");
        base_ = fs::temp_directory_path() /
                ("vorlan_exchange_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base_);
        target_ = base_ / "T";
        source_ = base_ / "S";
        certs_ = base_ / "D";
        for (const char* file : kKeyFiles) {
            Write(target_ / file, std::string("old ") + file);
            Write(source_ / file, std::string("new ") + file);
        }
        Write(certs_ / "self.pem", "old cert");
        Write(source_ / "self.pem", "new cert");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }

    static void Write(const fs::path& path, const std::string& content) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    // Tree: every file below the base with its content (the lock file of changes holds none).
    std::map<std::string, std::string> Tree() const {
        std::map<std::string, std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator(base_))
            if (entry.is_regular_file() && entry.path().filename() != "change.lock")
                tree[fs::relative(entry.path(), base_).generic_string()] = Read(entry.path());
        return tree;
    }
    static std::string Dir(const fs::path& path) { return path.string() + static_cast<char>(fs::path::preferred_separator); }

    bool Exchange() {
        TMProDLL binding(3);  // the exchange needs no plug-in
        return binding.ExchangeKeyFiles(Dir(target_), Dir(source_), (certs_ / "self.pem").string(),
                                        (source_ / "self.pem").string());
    }

    fs::path base_, target_, source_, certs_;
};

TEST_F(KeyExchange, PutsNewSetInPlaceAndKeepsOldCopies) {
    ASSERT_TRUE(Exchange());
    EXPECT_EQ(Read(target_ / "gk.db3"), "new gk.db3");
    EXPECT_EQ(Read(target_ / "gk.old"), "old gk.db3");
    EXPECT_EQ(Read(target_ / "uz.old"), "old uz.db3");
    EXPECT_EQ(Read(target_ / "num"), "new num");
    EXPECT_EQ(Read(target_ / "num.old"), "old num");
    EXPECT_EQ(Read(target_ / "DB/CRYPT/ckd.key"), "new DB/CRYPT/ckd.key");
    EXPECT_EQ(Read(target_ / "DB/CRYPT/ckd.old"), "old DB/CRYPT/ckd.key");
    EXPECT_EQ(Read(target_ / "DB/CRYPT/net_ks.key"), "new DB/CRYPT/net_ks.key");
    EXPECT_EQ(Read(target_ / "DB/CRYPT/net_ks.old"), "old DB/CRYPT/net_ks.key");
    EXPECT_EQ(Read(certs_ / "self.pem"), "new cert");
    EXPECT_EQ(Read(certs_ / "self.old"), "old cert");
    EXPECT_EQ(Read(source_ / "gk.db3"), "new gk.db3");  // the source stays
}

TEST_F(KeyExchange, EarlierBackupsAreReplaced) {
    Write(certs_ / "self.old", "ancient cert");
    Write(target_ / "gk.old", "ancient gk");
    ASSERT_TRUE(Exchange());
    EXPECT_EQ(Read(certs_ / "self.old"), "old cert");
    EXPECT_EQ(Read(target_ / "gk.old"), "old gk.db3");
}

TEST_F(KeyExchange, IncompleteSetChangesNothing) {
    fs::remove(target_ / "num");
    const auto before = Tree();
    EXPECT_FALSE(Exchange());
    EXPECT_EQ(Tree(), before);

    Write(target_ / "num", "old num");
    fs::remove(source_ / "self.pem");
    const auto before2 = Tree();
    EXPECT_FALSE(Exchange());
    EXPECT_EQ(Tree(), before2);
}

TEST_F(KeyExchange, SourceWithoutNetKeyStillExchanges) {
    fs::remove(source_ / "DB/CRYPT/net_ks.key");
    ASSERT_TRUE(Exchange());
    EXPECT_FALSE(fs::exists(target_ / "DB/CRYPT/net_ks.key"));
    EXPECT_EQ(Read(target_ / "DB/CRYPT/net_ks.old"), "old DB/CRYPT/net_ks.key");
    EXPECT_EQ(Read(target_ / "gk.db3"), "new gk.db3");
}

// The old set as it was, with no backups left behind.
void ExpectOldSetIntact(const std::map<std::string, std::string>& tree) {
    for (const char* file : kKeyFiles) EXPECT_EQ(tree.at(std::string("T/") + file), std::string("old ") + file);
    EXPECT_EQ(tree.at("D/self.pem"), "old cert");
    for (const auto& [name, content] : tree) EXPECT_EQ(name.find(".old"), std::string::npos) << name;
}

TEST_F(KeyExchange, FailedFirstCopyRestoresOldSet) {
    platform::ScopedFaultPlan plan({.failCall = 1, .kinds = platform::ChangeBit(platform::DiskChange::Copy)});
    EXPECT_FALSE(Exchange());
    ExpectOldSetIntact(Tree());
}

TEST_F(KeyExchange, FailedReplaceHalfWayRestoresOldSet) {
    // gk.db3 and uz.db3 are replaced, then the rename of num fails.
    platform::ScopedFaultPlan plan({.failCall = 3, .kinds = platform::ChangeBit(platform::DiskChange::Rename)});
    EXPECT_FALSE(Exchange());
    EXPECT_TRUE(plan.Failed());
    ExpectOldSetIntact(Tree());
}

// Exchanges under injected faults: whichever changing call fails, the directories hold the
// old set or the new one, a reader finds every current file at every call, and the next
// exchange succeeds. The source lacks net_ks.key in the second round.
TEST_F(KeyExchange, EveryFailureLeavesTheOldSetOrTheNew) {
    for (const bool withNetKey : {true, false}) {
        std::map<std::string, std::string> oldTree;
        bool missing = false;
        auto restore = [&] {
            SetUp();
            if (!withNetKey) fs::remove(source_ / "DB/CRYPT/net_ks.key");
            if (oldTree.empty()) oldTree = Tree();
        };
        // A reader needs every current file that is there before and after.
        auto observe = [&](const platform::DiskCall&) {
            for (const auto& [name, content] : oldTree)
                missing |= name.find(".old") == std::string::npos && name != "T/DB/CRYPT/net_ks.key" && !fs::exists(base_ / name);
        };
        auto after = [&](std::uint32_t, bool) {
            EXPECT_FALSE(missing);
            EXPECT_TRUE(Exchange()) << "the next exchange";
        };
        WalkFaults(restore, [&] { return Exchange(); }, [&] { return Tree(); }, after, observe);
    }
}

#if !defined(_WIN32)
// Key files are the owner's alone, old and new, whatever the source's bits; the certificate
// copies keep the bits of the file they copy.
TEST_F(KeyExchange, KeyFilesAreOwnerOnlyAndCopiesKeepTheirBits) {
    auto setMode = [](const fs::path& p, unsigned mode) { fs::permissions(p, static_cast<fs::perms>(mode)); };
    auto mode = [](const fs::path& p) { return static_cast<unsigned>(fs::status(p).permissions() & fs::perms::mask); };
    for (const char* file : kKeyFiles) {
        setMode(target_ / file, 0644);
        setMode(source_ / file, 0644);
    }
    setMode(source_ / "self.pem", 0640);
    setMode(certs_ / "self.pem", 0604);
    ASSERT_TRUE(Exchange());
    for (const char* file : kKeyFiles) EXPECT_EQ(mode(target_ / file), 0600u) << file;
    for (const char* file : kBackups) EXPECT_EQ(mode(target_ / file), 0600u) << file;
    EXPECT_EQ(mode(certs_ / "self.pem"), 0640u);
    EXPECT_EQ(mode(certs_ / "self.old"), 0604u);
}
#endif

}  // namespace
}  // namespace vorlan::test

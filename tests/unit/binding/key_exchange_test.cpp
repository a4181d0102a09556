// Key database exchange: checks before any change, ".old" copies, copied files, and the
// rollback that leaves the complete old set when a copy fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "binding/mpro_dll.h"
#include "fake_fixture.h"

namespace vorlan::test {
namespace {

namespace fs = std::filesystem;

const char* const kKeyFiles[] = {"gk.db3", "uz.db3", "num", "DB/CRYPT/ckd.key", "DB/CRYPT/net_ks.key"};

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
    // Tree: every file below the base with its content.
    std::map<std::string, std::string> Tree() const {
        std::map<std::string, std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator(base_))
            if (entry.is_regular_file()) tree[fs::relative(entry.path(), base_).generic_string()] = Read(entry.path());
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
    source_ = target_;  // renaming the current files takes the sources away
    Write(certs_ / "new.pem", "new cert");
    TMProDLL binding(3);
    EXPECT_FALSE(binding.ExchangeKeyFiles(Dir(target_), Dir(target_), (certs_ / "self.pem").string(),
                                          (certs_ / "new.pem").string()));
    auto tree = Tree();
    tree.erase("D/new.pem");
    for (auto it = tree.begin(); it != tree.end();)
        it = it->first.rfind("S/", 0) == 0 ? tree.erase(it) : std::next(it);
    ExpectOldSetIntact(tree);
}

#if !defined(_WIN32)
TEST_F(KeyExchange, FailedCopyHalfWayRestoresOldSet) {
    // The source's uz.db3 is a link to the target's: it vanishes when the target is renamed,
    // after gk.db3 was already copied.
    fs::remove(source_ / "uz.db3");
    fs::create_symlink(target_ / "uz.db3", source_ / "uz.db3");
    EXPECT_FALSE(Exchange());
    auto tree = Tree();
    for (auto it = tree.begin(); it != tree.end();)
        it = it->first.rfind("S/", 0) == 0 ? tree.erase(it) : std::next(it);
    ExpectOldSetIntact(tree);
    EXPECT_EQ(Read(source_ / "gk.db3"), "new gk.db3");
}
#endif

}  // namespace
}  // namespace vorlan::test

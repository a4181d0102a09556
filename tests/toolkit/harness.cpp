#include "harness.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tkt {

Plugin::Plugin(const std::string& file) {
    module_ = dlopen((BinDir() + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) return;
#define TKT_RESOLVE(name, type) name = reinterpret_cast<mpro::type>(dlsym(module_, #name));
    MPRO_REQUIRED_FUNCTIONS(TKT_RESOLVE)
    MPRO_OPTIONAL_FUNCTIONS(TKT_RESOLVE)
#undef TKT_RESOLVE
}

void* Plugin::Symbol(const char* name) const { return module_ != nullptr ? dlsym(module_, name) : nullptr; }

std::string BinDir() {
    const char* env = std::getenv("VORLAN_BIN_DIR");
    return env != nullptr ? env : VORLAN_TEST_BIN_DIR;
}

Plugin& Plugf() {
    static Plugin p("mplugf.so");
    return p;
}

Plugin& Plug0() {
    static Plugin p("mplug.so");
    return p;
}

namespace {
// Directories made by the tests, removed when the test program ends.
struct TempDirs {
    std::vector<std::string> dirs;
    ~TempDirs() {
        std::error_code ec;
        for (const auto& d : dirs) std::filesystem::remove_all(d, ec);
    }
};
}  // namespace

std::string TempDir(const std::string& tag) {
    static TempDirs made;
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path() /
               ("vorlan_tk_" + std::to_string(::getpid()) + "_" + tag + "_" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    made.dirs.push_back(dir.string());
    return dir.string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string AlgoName(const ::testing::TestParamInfo<Algo>& info) { return info.param == Algo::Gost ? "Gost" : "Rsa"; }

PkiLayout& ToolkitTest::Pki() {
    static std::map<Algo, std::unique_ptr<PkiLayout>> pkis;
    auto& p = pkis[GetParam()];
    if (!p) p = std::make_unique<PkiLayout>(TempDir(GetParam() == Algo::Gost ? "pki_gost" : "pki_rsa"), GetParam());
    return *p;
}

void ToolkitTest::SetUp() {
    ASSERT_TRUE(Plugf().Loaded()) << "mplugf.so not found in " << BinDir() << ": " << dlerror();
    if (GetParam() == Algo::Gost && !LoadGostEngine()) GTEST_SKIP() << "GOST engine cannot be loaded: GOST tests skipped";
}

void ToolkitTest::TearDown() {
    for (auto& [plugin, ctx] : open_) plugin->DoneCrypto(ctx);
    open_.clear();
}

mpro::Context ToolkitTest::OpenWith(const std::map<int, std::string>& params, Plugin* plugin) {
    Plugin& p = plugin != nullptr ? *plugin : Tk();
    mpro::Context ctx = p.InitCrypto();
    EXPECT_NE(ctx, 0);
    for (const auto& [index, value] : params) EXPECT_EQ(p.SetCryptoParamValue(ctx, index, value.c_str()), 0) << index;
    p.KeysRenewal(ctx);
    open_.emplace_back(&p, ctx);
    return ctx;
}

mpro::Context ToolkitTest::Open(const std::string& user, const std::map<int, std::string>& extra) {
    std::map<int, std::string> params = {
        {0, Pki().CertFile(user)}, {1, Pki().CertDir()}, {3, Cipher()},          {4, SigAlg()},
        {6, Pki().KeyFile(user)},  {24, Pki().CaDir()},  {25, Pki().CrlDir()},
    };
    for (const auto& [k, v] : extra) params[k] = v;
    return OpenWith(params);
}

std::string ToolkitTest::LastError() {
    std::string buf(static_cast<std::size_t>(Tk().GetMaxErrorStringLength()), '\0');
    Tk().GetLastErrorMessage(0, buf.data());
    return buf.c_str();
}

}  // namespace tkt

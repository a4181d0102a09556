// Loads a toolkit plug-in with dlopen and calls it through the interface types; a
// fixture with a test PKI per algorithm and helpers to open configured contexts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pki_layout.h"
#include "toolkit_api.h"

namespace tkt {

// Plugin: one loaded plug-in module and its functions.
class Plugin {
public:
    explicit Plugin(const std::string& file);  // file name in VORLAN_BIN_DIR
    bool Loaded() const { return module_ != nullptr; }
    void* Symbol(const char* name) const;

#define TKT_MEMBER(name, type) mpro::type name = nullptr;
    MPRO_REQUIRED_FUNCTIONS(TKT_MEMBER)
    MPRO_OPTIONAL_FUNCTIONS(TKT_MEMBER)
#undef TKT_MEMBER

private:
    void* module_ = nullptr;
};

// BinDir: VORLAN_BIN_DIR or the directory given at build time.
std::string BinDir();
// Plugf / Plug0: the two plug-ins, loaded once per process.
Plugin& Plugf();
Plugin& Plug0();
// TempDir: a fresh empty directory for one test.
std::string TempDir(const std::string& tag);
// ReadAll: a file's bytes ("" when missing).
std::string ReadAll(const std::string& path);
// Base64Length: characters of the base64 text of n bytes.
inline std::size_t Base64Length(std::size_t n) { return 4 * ((n + 2) / 3); }

// ToolkitTest: tests run once per algorithm, each with the same PKI.
class ToolkitTest : public ::testing::TestWithParam<Algo> {
protected:
    void SetUp() override;
    void TearDown() override;
    PkiLayout& Pki();
    Plugin& Tk() { return Plugf(); }
    // Open: a context of the 26-parameter plug-in for a user of the PKI (own certificate,
    // key, certificate, CA and CRL directories), with extra parameters on top.
    mpro::Context Open(const std::string& user, const std::map<int, std::string>& extra = {});
    // OpenWith: a context with exactly the parameters given.
    mpro::Context OpenWith(const std::map<int, std::string>& params, Plugin* plugin = nullptr);
    // LastError: the plug-in's last message of this thread.
    std::string LastError();
    std::string SigAlg() const { return GetParam() == Algo::Gost ? "R3410-R3411" : "SHA1"; }
    std::string Cipher() const { return GetParam() == Algo::Gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"; }

private:
    std::vector<std::pair<Plugin*, mpro::Context>> open_;
};

std::string AlgoName(const ::testing::TestParamInfo<Algo>& info);

}  // namespace tkt

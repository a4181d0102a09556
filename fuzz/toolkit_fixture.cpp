#include "toolkit_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "pki/test_pki.h"

namespace vorlan::fuzz {

namespace fs = std::filesystem;

namespace {

using test::Algorithm;

fs::path PkiRoot() {
    if (const char* env = std::getenv("VORLAN_FUZZ_PKI")) return env;
    return fs::read_symlink("/proc/self/exe").parent_path() / "fuzz_pki";
}

// MakePki: CA, USER01 and USER02 and a CRL under dir (made once; a finished PKI has "ready").
void MakePki(const fs::path& dir, Algorithm algorithm) {
    if (fs::exists(dir / "ready")) return;
    const fs::path work = dir.string() + ".tmp" + std::to_string(::getpid());
    fs::remove_all(work);
    for (const char* sub : {"ca", "certs", "keys", "crl"}) fs::create_directories(work / sub);
    test::TestPKI pki(algorithm);
    pki.WriteCA((work / "ca" / "ca.pem").string());
    long serial = 101;
    for (const char* user : {"USER01", "USER02"})
        pki.IssueUser(user, serial++, (work / "keys" / (std::string(user) + ".key")).string(),
                      (work / "certs" / (std::string(user) + ".pem")).string());
    pki.WriteCRL((work / "crl" / "crl1.pem").string(), {999});
    std::ofstream(work / "ready") << "ready\n";
    std::error_code ec;
    fs::rename(work, dir, ec);  // another process may have finished first
    if (ec) fs::remove_all(work);
    if (!fs::exists(dir / "ready")) throw std::runtime_error("fuzz PKI cannot be made in " + dir.string());
}

mpro::Context OpenContext(const fs::path& dir, const std::string& user, bool gost) {
    const mpro::Context ctx = mpro::InitCrypto();
    const std::pair<int, std::string> params[] = {
        {0, (dir / "certs" / (user + ".pem")).string()}, {1, (dir / "certs").string()},
        {3, gost ? "RUS-GAMMAR" : "DES-EDE3-CBC"},         {4, gost ? "R3410-R3411" : "SHA1"},
        {6, (dir / "keys" / (user + ".key")).string()},  {24, (dir / "ca").string()},
        {25, (dir / "crl").string()}};
    for (const auto& [index, value] : params)
        if (mpro::SetCryptoParamValue(ctx, index, value.c_str()) != 0) throw std::runtime_error("parameter refused");
    if (mpro::KeysRenewal(ctx) != 0) throw std::runtime_error("context for " + user + " cannot be opened");
    return ctx;
}

std::vector<Parties> MakeParties() {
    std::vector<Parties> all;
    const fs::path root = PkiRoot();
    fs::create_directories(root);
    for (Algorithm algorithm : {Algorithm::Gost, Algorithm::Rsa}) {
        if (!test::TestPKI::Available(algorithm)) continue;
        const bool gost = algorithm == Algorithm::Gost;
        const fs::path dir = root / (gost ? "gost" : "rsa");
        MakePki(dir, algorithm);
        all.push_back({gost ? "gost" : "rsa", OpenContext(dir, "USER01", gost), OpenContext(dir, "USER02", gost)});
    }
    return all;
}

}  // namespace

const std::vector<Parties>& Toolkit() {
    static const std::vector<Parties> parties = MakeParties();
    return parties;
}

std::string Sign(const Parties& parties, const std::string& data, bool attached) {
    std::string out(data.size() + static_cast<std::size_t>(mpro::GetMaxSignatureLength()), '\0');
    std::int32_t length = Length(out);
    std::int32_t rc = 0;
    if (attached) {
        out.replace(0, data.size(), data);
        rc = mpro::SignData(parties.sender, Bytes(out), Length(data), nullptr, &length, "");
    } else {
        rc = mpro::SignData(parties.sender, reinterpret_cast<const unsigned char*>(data.data()), Length(data), Bytes(out),
                            &length, "");
    }
    if (rc != 0) throw std::runtime_error("seed signature failed: " + std::to_string(rc));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

void WriteSeeds(int argc, char** argv, SeedMaker make) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        if (!fs::is_directory(argv[i])) return;  // a single input to run, not a corpus
        for (const Parties& parties : Toolkit())
            for (const Seed& seed : make(parties))
                std::ofstream(fs::path(argv[i]) / ("seed_" + std::string(parties.name) + "_" + seed.name), std::ios::binary)
                    << seed.bytes;
        return;
    }
}

}  // namespace vorlan::fuzz

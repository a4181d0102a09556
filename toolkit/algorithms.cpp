#include "algorithms.h"

#include <openssl/obj_mac.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "errors.h"

namespace vtk {

namespace {

std::string Upper(std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

}  // namespace

const EVP_CIPHER* CipherFor(const std::string& name) {
    std::string n = Upper(name);
    const EVP_CIPHER* c = nullptr;
    if (n.empty() || n == "RUS-GAMMAR") {
        RequireGostEngine("Cipher RUS-GAMMAR");
        c = EVP_get_cipherbyname("gost89");
    } else if (n == "DES-EDE3-CBC") {
        c = EVP_des_ede3_cbc();
    } else if (n == "AES-256-CBC") {
        c = EVP_aes_256_cbc();
    } else {
        Fail(kErrAlgorithm, "Unknown cipher \"" + name + "\"");
    }
    if (c == nullptr) Fail(kErrAlgorithm, "Cipher \"" + name + "\" is not available");
    return c;
}

SignatureSuite SuiteFor(const std::string& name) {
    std::string n = Upper(name);
    if (n.empty() || n == "R3410-R3411") {
        RequireGostEngine("Signature algorithm R3410-R3411");
        const EVP_MD* md = EVP_get_digestbyname("md_gost12_256");
        if (md == nullptr) Fail(kErrAlgorithm, "GOST R 34.11-2012 hashing is not available");
        return {KeyKind::Gost2012_256, md};
    }
    if (n == "SHA1") return {KeyKind::Rsa, EVP_sha1()};
    if (n == "SHA256") return {KeyKind::Rsa, EVP_sha256()};
    Fail(kErrAlgorithm, "Unknown signature algorithm \"" + name + "\"");
}

bool IsGostKey(EVP_PKEY* key) {
    int id = EVP_PKEY_get_base_id(key);
    return id == NID_id_GostR3410_2012_256 || id == NID_id_GostR3410_2012_512 || id == NID_id_GostR3410_2001;
}

const EVP_MD* DigestForKey(EVP_PKEY* key, const std::string& signatureParam) {
    if (IsGostKey(key)) {
        RequireGostEngine("A GOST key");
        const char* name = EVP_PKEY_get_base_id(key) == NID_id_GostR3410_2012_512 ? "md_gost12_512"
                           : EVP_PKEY_get_base_id(key) == NID_id_GostR3410_2001  ? "md_gost94"
                                                                                 : "md_gost12_256";
        const EVP_MD* md = EVP_get_digestbyname(name);
        if (md == nullptr) Fail(kErrAlgorithm, std::string("Digest ") + name + " is not available");
        return md;
    }
    std::string n = Upper(signatureParam);
    if (n == "SHA256") return EVP_sha256();
    return EVP_sha1();  // RSA keys: SHA1 unless SHA256 is asked for
}

int RsaBits(const std::string& value) {
    std::string v = Upper(value);
    if (v.empty()) return kMinRsaBits;
    int bits = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), bits);
    if (ec != std::errc() || p != v.data() + v.size() || bits < 0) Fail(kErrArgument, "Bad RSA key size \"" + value + "\"");
    if (bits > 4096) Fail(kErrArgument, "RSA key size must be at most 4096 bits");
    return bits;
}

}  // namespace vtk

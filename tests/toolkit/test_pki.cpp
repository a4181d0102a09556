// Builds the test PKI with OpenSSL calls; the GOST engine is loaded through the
// deprecated ENGINE interface (warnings silenced for this file).
#include "test_pki.h"

#include <openssl/bn.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tkt {

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        char buf[256];
        ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
        throw std::runtime_error(std::string(what) + ": " + buf);
    }
}

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

template <typename F>
std::string Pem(F&& write) {
    BIO* bio = BIO_new(BIO_s_mem());
    Check(write(bio) == 1, "PEM output");
    char* p = nullptr;
    long n = BIO_get_mem_data(bio, &p);
    std::string s(p, static_cast<std::size_t>(n));
    BIO_free(bio);
    return s;
}

const EVP_MD* Digest(Algo algo) { return algo == Algo::Gost ? EVP_get_digestbyname("md_gost12_256") : EVP_sha256(); }

X509_NAME* MakeName(const Subject& s) {
    X509_NAME* n = X509_NAME_new();
    auto add = [&](const char* field, const std::string& v) {
        if (!v.empty())
            Check(X509_NAME_add_entry_by_txt(n, field, V_ASN1_UTF8STRING, reinterpret_cast<const unsigned char*>(v.data()),
                                             static_cast<int>(v.size()), -1, 0) == 1,
                  "name entry");
    };
    add("C", s.C);
    add("ST", s.ST);
    add("L", s.L);
    add("O", s.O);
    add("OU", s.OU);
    add("CN", s.CN);
    add("emailAddress", s.E);
    add("title", s.T);
    return n;
}

std::string Line(const Subject& s) {
    std::string l;
    auto add = [&](const char* tag, const std::string& v) {
        if (!v.empty()) l += std::string("/") + tag + "=" + v;
    };
    add("C", s.C);
    add("ST", s.ST);
    add("L", s.L);
    add("O", s.O);
    add("OU", s.OU);
    add("CN", s.CN);
    add("E", s.E);
    add("T", s.T);
    return l;
}

void AddExt(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX v3;
    X509V3_set_ctx(&v3, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
    Check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

}  // namespace

bool LoadGostEngine() {
    static const bool loaded = [] {
        ENGINE* e = ENGINE_by_id("gost");
        if (e == nullptr) return false;
        bool ok = ENGINE_init(e) == 1 && ENGINE_set_default(e, ENGINE_METHOD_ALL) == 1;
        ENGINE_free(e);
        ERR_clear_error();
        return ok;
    }();
    return loaded;
}

Key TestPki::NewKey() const {
    EVP_PKEY_CTX* ctx = algo_ == Algo::Gost ? EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr)
                                            : EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    Check(ctx != nullptr && EVP_PKEY_keygen_init(ctx) == 1, "keygen init");
    if (algo_ == Algo::Gost)
        Check(EVP_PKEY_CTX_ctrl_str(ctx, "paramset", "A") > 0, "paramset");
    else
        Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 2048) > 0, "rsa bits");
    EVP_PKEY* k = nullptr;
    Check(EVP_PKEY_keygen(ctx, &k) == 1, "keygen");
    EVP_PKEY_CTX_free(ctx);
    return Key(k);
}

TestPki::TestPki(const std::string& root, Algo algo) : root_(root), algo_(algo) {
    std::filesystem::create_directories(root + "/keys");
    caKey_ = NewKey();
    caCert_.reset(X509_new());
    X509* ca = caCert_.get();
    X509_set_version(ca, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(ca), 1);
    Subject cs;
    cs.CN = "TEST CA";
    X509_NAME* name = MakeName(cs);
    X509_set_subject_name(ca, name);
    X509_set_issuer_name(ca, name);
    X509_NAME_free(name);
    X509_gmtime_adj(X509_getm_notBefore(ca), -86400);
    X509_gmtime_adj(X509_getm_notAfter(ca), 86400L * 3650);
    X509_set_pubkey(ca, caKey_.get());
    AddExt(ca, ca, NID_basic_constraints, "critical,CA:TRUE");
    AddExt(ca, ca, NID_key_usage, "critical,keyCertSign,cRLSign");
    Check(X509_sign(ca, caKey_.get(), Digest(algo)) > 0, "CA sign");
    WriteText(CaDir() + "/ca1.pem", Pem([&](BIO* b) { return PEM_write_bio_X509(b, ca); }));

    for (const char* user : {"USER01", "USER02", "USER03", "EXPIRED", "REVOKED"}) {
        Key key = NewKey();
        Subject s;
        s.CN = user;
        s.OU = "IT";
        Issue(user, key.get(), s, std::string(user) == "EXPIRED" ? -1 : 365);
        WriteText(KeyFile(user), Pem([&](BIO* b) {
                      return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
                  }));
    }

    X509_CRL* crl = X509_CRL_new();
    X509_CRL_set_version(crl, 1);
    X509_CRL_set_issuer_name(crl, X509_get_subject_name(ca));
    ASN1_TIME* now = X509_gmtime_adj(nullptr, -3600);
    ASN1_TIME* next = X509_gmtime_adj(nullptr, 86400L * 30);
    X509_CRL_set1_lastUpdate(crl, now);
    X509_CRL_set1_nextUpdate(crl, next);
    X509_REVOKED* rev = X509_REVOKED_new();
    BIGNUM* bn = nullptr;
    BN_hex2bn(&bn, Serial("REVOKED").c_str());
    ASN1_INTEGER* serial = BN_to_ASN1_INTEGER(bn, nullptr);
    X509_REVOKED_set_serialNumber(rev, serial);
    X509_REVOKED_set_revocationDate(rev, now);
    X509_CRL_add0_revoked(crl, rev);
    X509_CRL_sort(crl);
    Check(X509_CRL_sign(crl, caKey_.get(), Digest(algo)) > 0, "CRL sign");
    WriteText(CrlDir() + "/crl1.pem", Pem([&](BIO* b) { return PEM_write_bio_X509_CRL(b, crl); }));
    ASN1_INTEGER_free(serial);
    BN_free(bn);
    ASN1_TIME_free(now);
    ASN1_TIME_free(next);
    X509_CRL_free(crl);
}

std::string TestPki::Issue(const std::string& name, EVP_PKEY* key, const Subject& subject, int days, const std::string& file) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    long serial = nextSerial_++;
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_NAME* n = MakeName(subject);
    X509_set_subject_name(x, n);
    X509_NAME_free(n);
    X509_set_issuer_name(x, X509_get_subject_name(caCert_.get()));
    if (days < 0) {
        X509_gmtime_adj(X509_getm_notBefore(x), -86400L * 30);
        X509_gmtime_adj(X509_getm_notAfter(x), -86400L);
    } else {
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 86400L * days);
    }
    X509_set_pubkey(x, key);
    AddExt(x, caCert_.get(), NID_basic_constraints, "CA:FALSE");
    Check(X509_sign(x, caKey_.get(), Digest(algo_)) > 0, "sign");
    std::string path = file.empty() ? CertFile(name) : file;
    WriteText(path, Pem([&](BIO* b) { return PEM_write_bio_X509(b, x); }));
    X509_free(x);
    char hex[32];
    std::snprintf(hex, sizeof hex, "%lX", serial);
    lines_[name] = Line(subject);
    serials_[name] = hex;
    return path;
}

std::string TestPki::IssueForRequest(const std::string& requestFile, const std::string& certFile) {
    FILE* f = std::fopen(requestFile.c_str(), "rb");
    Check(f != nullptr, "open request");
    X509_REQ* req = PEM_read_X509_REQ(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    Check(req != nullptr, "read request");
    Subject s;
    s.C.clear();
    s.O.clear();
    X509_NAME* rn = X509_REQ_get_subject_name(req);
    int i = X509_NAME_get_index_by_NID(rn, NID_commonName, -1);
    s.CN = i >= 0 ? reinterpret_cast<const char*>(ASN1_STRING_get0_data(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(rn, i)))) : "NONAME";
    std::string path = Issue("REQ-" + s.CN, X509_REQ_get0_pubkey(req), s, 365, certFile);
    X509_REQ_free(req);
    return path;
}

}  // namespace tkt

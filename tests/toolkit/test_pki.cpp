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

template <auto Fn>
struct Deleter {
    template <typename T>
    void operator()(T* p) const noexcept { Fn(p); }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Deleter<X509_CRL_free>>;
using RevokedPtr = std::unique_ptr<X509_REVOKED, Deleter<X509_REVOKED_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;
using RequestPtr = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using FilePtr = std::unique_ptr<FILE, Deleter<std::fclose>>;

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
    const BioPtr bio(BIO_new(BIO_s_mem()));
    Check(bio && write(bio.get()) == 1, "PEM output");
    char* p = nullptr;
    long n = BIO_get_mem_data(bio.get(), &p);
    return std::string(p, static_cast<std::size_t>(n));
}

const EVP_MD* Digest(Algo algo) { return algo == Algo::Gost ? EVP_get_digestbyname("md_gost12_256") : EVP_sha256(); }

// The subject fields in certificate order: OpenSSL's field name, the subject-line tag.
struct SubjectField {
    const char* field;
    const char* tag;
    std::string Subject::*value;
};
constexpr SubjectField kSubjectFields[] = {
    {"C", "C", &Subject::C},   {"ST", "ST", &Subject::ST},  {"L", "L", &Subject::L},
    {"O", "O", &Subject::O},   {"OU", "OU", &Subject::OU},  {"CN", "CN", &Subject::CN},
    {"emailAddress", "E", &Subject::E}, {"title", "T", &Subject::T},
};

NamePtr MakeName(const Subject& s) {
    NamePtr n(X509_NAME_new());
    Check(n != nullptr, "name");
    for (const SubjectField& f : kSubjectFields) {
        const std::string& v = s.*f.value;
        if (!v.empty())
            Check(X509_NAME_add_entry_by_txt(n.get(), f.field, V_ASN1_UTF8STRING,
                                             reinterpret_cast<const unsigned char*>(v.data()), static_cast<int>(v.size()),
                                             -1, 0) == 1,
                  "name entry");
    }
    return n;
}

std::string Line(const Subject& s) {
    std::string l;
    for (const SubjectField& f : kSubjectFields)
        if (!(s.*f.value).empty()) l += std::string("/") + f.tag + "=" + s.*f.value;
    return l;
}

void AddExt(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX v3;
    X509V3_set_ctx(&v3, issuer, cert, nullptr, nullptr, 0);
    const ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &v3, nid, const_cast<char*>(value)));
    Check(ext != nullptr, "extension");
    Check(X509_add_ext(cert, ext.get(), -1) == 1, "add extension");
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
    const PKeyCtxPtr ctx(algo_ == Algo::Gost ? EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr)
                                             : EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    Check(ctx && EVP_PKEY_keygen_init(ctx.get()) == 1, "keygen init");
    if (algo_ == Algo::Gost)
        Check(EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") > 0, "paramset");
    else
        Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) > 0, "rsa bits");
    EVP_PKEY* k = nullptr;
    Check(EVP_PKEY_keygen(ctx.get(), &k) == 1, "keygen");
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
    const NamePtr name = MakeName(cs);
    X509_set_subject_name(ca, name.get());
    X509_set_issuer_name(ca, name.get());
    X509_gmtime_adj(X509_getm_notBefore(ca), -86400);
    X509_gmtime_adj(X509_getm_notAfter(ca), 86400L * 3650);
    X509_set_pubkey(ca, caKey_.get());
    AddExt(ca, ca, NID_basic_constraints, "critical,CA:TRUE");
    AddExt(ca, ca, NID_key_usage, "critical,keyCertSign,cRLSign");
    Check(X509_sign(ca, caKey_.get(), Digest(algo)) > 0, "CA sign");
    WriteText(CaCertFile(), Pem([&](BIO* b) { return PEM_write_bio_X509(b, ca); }));
    WriteText(CaKeyFile(), Pem([&](BIO* b) {
                  return PEM_write_bio_PrivateKey(b, caKey_.get(), nullptr, nullptr, 0, nullptr, nullptr);
              }));

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

    const CrlPtr crl(X509_CRL_new());
    Check(crl != nullptr, "CRL");
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(ca));
    const TimePtr now(X509_gmtime_adj(nullptr, -3600));
    const TimePtr next(X509_gmtime_adj(nullptr, 86400L * 30));
    X509_CRL_set1_lastUpdate(crl.get(), now.get());
    X509_CRL_set1_nextUpdate(crl.get(), next.get());
    RevokedPtr rev(X509_REVOKED_new());
    BIGNUM* rawBn = nullptr;
    Check(BN_hex2bn(&rawBn, Serial("REVOKED").c_str()) > 0, "revoked serial");
    const BignumPtr bn(rawBn);
    const IntegerPtr serial(BN_to_ASN1_INTEGER(bn.get(), nullptr));
    Check(rev && serial, "revoked entry");
    X509_REVOKED_set_serialNumber(rev.get(), serial.get());
    X509_REVOKED_set_revocationDate(rev.get(), now.get());
    Check(X509_CRL_add0_revoked(crl.get(), rev.get()) == 1, "add revoked");
    rev.release();  // owned by the CRL now
    X509_CRL_sort(crl.get());
    Check(X509_CRL_sign(crl.get(), caKey_.get(), Digest(algo)) > 0, "CRL sign");
    WriteText(CrlDir() + "/crl1.pem", Pem([&](BIO* b) { return PEM_write_bio_X509_CRL(b, crl.get()); }));
}

std::string TestPki::Issue(const std::string& name, EVP_PKEY* key, const Subject& subject, int days, const std::string& file) {
    const Cert cert(X509_new());
    Check(cert != nullptr, "certificate");
    X509* x = cert.get();
    X509_set_version(x, 2);
    long serial = nextSerial_++;
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_set_subject_name(x, MakeName(subject).get());
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
    char hex[32];
    std::snprintf(hex, sizeof hex, "%lX", serial);
    lines_[name] = Line(subject);
    serials_[name] = hex;
    return path;
}

std::string TestPki::IssueForRequest(const std::string& requestFile, const std::string& certFile) {
    RequestPtr req;
    {
        const FilePtr f(std::fopen(requestFile.c_str(), "rb"));
        Check(f != nullptr, "open request");
        req.reset(PEM_read_X509_REQ(f.get(), nullptr, nullptr, nullptr));
    }
    Check(req != nullptr, "read request");
    Subject s;
    s.C.clear();
    s.O.clear();
    X509_NAME* rn = X509_REQ_get_subject_name(req.get());
    int i = X509_NAME_get_index_by_NID(rn, NID_commonName, -1);
    s.CN = i >= 0 ? reinterpret_cast<const char*>(ASN1_STRING_get0_data(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(rn, i)))) : "NONAME";
    return Issue("REQ-" + s.CN, X509_REQ_get0_pubkey(req.get()), s, 365, certFile);
}

}  // namespace tkt

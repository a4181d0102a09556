// Certificate and request descriptions: OpenSSL's certificate print, and the
// information records whose texts live until FreeCertInfo / FreeReqInfo.
#include <openssl/asn1.h>
#include <openssl/err.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "algorithms.h"
#include "errors.h"
#include "file_system.h"
#include "keys.h"
#include "object_cache.h"
#include "size_limits.h"
#include "operations.h"
#include "subject.h"

namespace vtk {

namespace {

// Texts: owned copies handed out as const char* fields of one record, as the host writes them.
class Texts {
public:
    const char* Add(const std::string& utf8) {
        const std::string s = os::HostText(utf8);
        auto p = std::make_unique<char[]>(s.size() + 1);
        std::memcpy(p.get(), s.c_str(), s.size() + 1);
        owned_.push_back(std::move(p));
        return owned_.back().get();
    }
    std::vector<std::unique_ptr<char[]>> Release() { return std::move(owned_); }

private:
    std::vector<std::unique_ptr<char[]>> owned_;
};

std::string Date(const ASN1_TIME* t) {
    std::tm tm{};
    if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
    return buf;
}

// KeyDescription: "Public Key Algorithm: " + name, LF, then the key bytes as
// indented hex lines of 15 bytes.
std::string KeyDescription(EVP_PKEY* key) {
    std::string text = "Public Key Algorithm: " + KeyAlgorithmName(key) + "\n";
    unsigned char* raw = nullptr;
    int n = i2d_PublicKey(key, &raw);
    const OpenSslBytes der(raw);
    std::string bytes;
    if (n > 0) {
        bytes.assign(reinterpret_cast<char*>(der.get()), static_cast<std::size_t>(n));
    } else {
        ERR_clear_error();
        bytes = PublicKeyDer(key);
    }
    static const char* digits = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); i += 15) {
        std::string line = "        ";
        for (std::size_t j = i; j < bytes.size() && j < i + 15; ++j) {
            auto b = static_cast<unsigned char>(bytes[j]);
            line += digits[b >> 4];
            line += digits[b & 15];
            if (j + 1 < bytes.size()) line += ':';
        }
        text += line + "\n";
    }
    return text;
}

void FillName(mpro::NameRecord& r, const X509_NAME* name, Texts& texts) {
    NameFields f = FieldsOf(name);
    auto put = [&](const std::string& v) { return v.empty() ? nullptr : texts.Add(v); };
    r.C = put(f.C);
    r.S = put(f.S);
    r.L = put(f.L);
    r.O = put(f.O);
    r.OU = put(f.OU);
    r.T = put(f.T);
    r.CN = put(f.CN);
    r.E = put(f.E);
}

SharedCert CertFromBytes(const unsigned char* data, std::int32_t length) {
    if (data == nullptr || length < 1) Fail(kErrArgument, "No certificate data");
    SharedCert cert = ParseCertificate(std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)));
    if (!cert) Fail(kErrCertificateFormat, "Data is not a certificate");
    return cert;
}

// DumpText: OpenSSL's certificate print with the markers that readers of dumps look for: the
// serial number always on the line after "Serial Number:" (upper-case hex, as in the
// information record), name fields separated by ", ", and a GOST key after "R3410 Public Key:".
// A control byte inside a name value is printed as "\" and two hex digits, so no value can
// end its line (the form the library's reports use too).
std::string DumpText(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    const unsigned long nameFlags = XN_FLAG_SEP_CPLUS_SPC | ASN1_STRFLGS_UTF8_CONVERT | ASN1_STRFLGS_ESC_CTRL;
    if (!bio || X509_print_ex(bio.get(), cert, nameFlags, X509_FLAG_NO_SERIAL) != 1)
        Fail(kErrCertificateFormat, "Certificate cannot be printed");
    std::string text = BioText(bio.get());
    const auto signature = text.find("        Signature Algorithm:");
    text.insert(signature == std::string::npos ? 0 : signature, "        Serial Number:\n            " + SerialHex(cert) + "\n");
    if (IsGostKey(X509_get0_pubkey(cert)))
        if (const auto key = text.find("Public key:"); key != std::string::npos) text.replace(key, 11, "R3410 Public Key:");
    return text;
}

}  // namespace

void GetCertInfo(Context&, const unsigned char* data, std::int32_t length, char* text) {
    if (text == nullptr) Fail(kErrArgument, "No output buffer");
    SharedCert cert = CertFromBytes(data, length);
    PutText(text, kMaxCertInfoLength, DumpText(cert.get()));
}

void GetCertInfoEx(Context& ctx, const unsigned char* data, std::int32_t length, mpro::CertInfoRecord* record) {
    if (record == nullptr) Fail(kErrArgument, "No record");
    SharedCert cert = CertFromBytes(data, length);
    Texts texts;
    mpro::CertInfoRecord r{};
    r.SerialNumber = texts.Add(SerialHex(cert.get()));
    r.NotBefore = texts.Add(Date(X509_get0_notBefore(cert.get())));
    r.NotAfter = texts.Add(Date(X509_get0_notAfter(cert.get())));
    FillName(r.Issuer, X509_get_issuer_name(cert.get()), texts);
    FillName(r.Subject, X509_get_subject_name(cert.get()), texts);
    r.PublicKey = texts.Add(KeyDescription(X509_get0_pubkey(cert.get())));
    ctx.KeepTexts(record, texts.Release());
    *record = r;
}

void FreeCertInfo(Context& ctx, mpro::CertInfoRecord* record) {
    if (record == nullptr) return;
    ctx.ReleaseTexts(record);
    *record = mpro::CertInfoRecord{};
}

void GetReqInfo(Context& ctx, const unsigned char* data, std::int32_t length, mpro::ReqInfoRecord* record) {
    if (record == nullptr || data == nullptr || length < 1) Fail(kErrArgument, "GetReqInfo: null argument");
    std::string bytes(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    X509ReqPtr req = ParseRequest(bytes);
    if (!req) Fail(kErrCertificateFormat, "Data is not a certificate request");
    Texts texts;
    mpro::ReqInfoRecord r{};
    FillName(r.Subject, X509_REQ_get_subject_name(req.get()), texts);
    r.PublicKey = texts.Add(KeyDescription(X509_REQ_get0_pubkey(req.get())));
    ctx.KeepTexts(record, texts.Release());
    *record = r;
}

void FreeReqInfo(Context& ctx, mpro::ReqInfoRecord* record) {
    if (record == nullptr) return;
    ctx.ReleaseTexts(record);
    *record = mpro::ReqInfoRecord{};
}

}  // namespace vtk

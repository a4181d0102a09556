#include "subject.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <algorithm>

#include "errors.h"
#include "subject_line.h"

namespace vtk {

namespace {

std::string TagOf(int nid) {
    switch (nid) {
    case NID_countryName: return "C";
    case NID_stateOrProvinceName: return "ST";
    case NID_localityName: return "L";
    case NID_organizationName: return "O";
    case NID_organizationalUnitName: return "OU";
    case NID_commonName: return "CN";
    case NID_pkcs9_emailAddress: return "E";
    case NID_title: return "T";
    default: {
        const char* sn = OBJ_nid2sn(nid);
        return sn != nullptr ? sn : "UNKNOWN";
    }
    }
}

std::string Utf8(const ASN1_STRING* s) {
    unsigned char* raw = nullptr;
    int n = ASN1_STRING_to_UTF8(&raw, s);
    const OpenSslBytes out(raw);
    if (n < 0) return {};
    return std::string(reinterpret_cast<char*>(out.get()), static_cast<std::size_t>(n));
}

std::string Field(const X509_NAME* name, int nid) {
    int i = X509_NAME_get_index_by_NID(name, nid, -1);
    if (i < 0) return {};
    return Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
}

bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// Add: one name entry. The string type is given explicitly, so the fields may be as
// long as the engine allows (255 characters) rather than the X.520 upper bounds.
void Add(X509_NAME* name, int nid, const std::string& value) {
    if (value.empty()) return;
    // Texts inside the toolkit are UTF-8; bytes that are not (another code page) are no name.
    if (!ValidUtf8(value)) Fail(kErrArgument, "Subject field " + TagOf(nid) + " is not UTF-8 text");
    const bool ascii = std::all_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x80; });
    int type = nid == NID_countryName ? V_ASN1_PRINTABLESTRING : nid == NID_pkcs9_emailAddress ? V_ASN1_IA5STRING : V_ASN1_UTF8STRING;
    if (!ascii) type = V_ASN1_UTF8STRING;
    if (X509_NAME_add_entry_by_NID(name, nid, type, reinterpret_cast<const unsigned char*>(value.data()),
                                   static_cast<int>(value.size()), -1, 0) != 1)
        Fail(kErrArgument, "Subject field " + TagOf(nid) + " refused");
}

}  // namespace

std::string SubjectLine(const X509_NAME* name) {
    std::string line;
    int n = X509_NAME_entry_count(name);
    for (int i = 0; i < n; ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        line += "/" + TagOf(OBJ_obj2nid(X509_NAME_ENTRY_get_object(e))) + "=" +
                mpro::EscapeSubjectValue(Utf8(X509_NAME_ENTRY_get_data(e)));
    }
    return line;
}

std::string SerialHex(const X509* cert) {
    const ASN1_INTEGER* serial = X509_get0_serialNumber(cert);
    const BignumPtr bn(ASN1_INTEGER_to_BN(serial, nullptr));
    if (!bn) return {};
    const OpenSslText hex(BN_bn2hex(bn.get()));
    if (!hex) return {};
    return std::string(hex.get());  // BN_bn2hex writes upper-case digits
}

std::string CertUid(const X509* cert, bool useSerial) {
    return useSerial ? SerialHex(cert) : SubjectLine(X509_get_subject_name(cert));
}

NameFields FieldsOf(const X509_NAME* name) {
    NameFields f;
    f.C = Field(name, NID_countryName);
    f.S = Field(name, NID_stateOrProvinceName);
    f.L = Field(name, NID_localityName);
    f.O = Field(name, NID_organizationName);
    f.OU = Field(name, NID_organizationalUnitName);
    f.CN = Field(name, NID_commonName);
    f.E = Field(name, NID_pkcs9_emailAddress);
    f.T = Field(name, NID_title);
    return f;
}

X509NamePtr BuildName(const NameFields& f) {
    X509NamePtr name(X509_NAME_new());
    if (!name) Fail(kErrInternal, "Out of memory");
    Add(name.get(), NID_countryName, f.C);
    Add(name.get(), NID_stateOrProvinceName, f.S);
    Add(name.get(), NID_localityName, f.L);
    Add(name.get(), NID_organizationName, f.O);
    Add(name.get(), NID_organizationalUnitName, f.OU);
    Add(name.get(), NID_commonName, f.CN);
    Add(name.get(), NID_pkcs9_emailAddress, f.E);
    Add(name.get(), NID_title, f.T);
    return name;
}

}  // namespace vtk

// Subject lines ("/C=RU/CN=USER01/...") and serial numbers: how certificates are
// named to the engine and looked up by it.
#pragma once

#include <openssl/x509.h>

#include <string>

#include "ossl.h"

namespace vtk {

// NameFields: the subject fields the toolkit reads and writes.
struct NameFields {
    std::string C, S, L, O, OU, CN, E, T;
};

// SubjectLine: "/" + tag + "=" + value for every entry of a name, in its order; tags
// C, ST, L, O, OU, CN, E, T (others by their short name), values in UTF-8 and escaped
// as subject_line.h says.
std::string SubjectLine(const X509_NAME* name);
// SerialHex: a certificate's serial number in upper-case hexadecimal.
std::string SerialHex(const X509* cert);
// CertUid: the certificate's identifying text: its serial (useSerial) or its subject line.
std::string CertUid(const X509* cert, bool useSerial);
// FieldsOf: the fields of a name (first occurrence of each).
NameFields FieldsOf(const X509_NAME* name);
// BuildName: an X509 name from fields in the order C, ST, L, O, OU, CN, E, T; empty
// fields are left out. Throws when a value is refused.
X509NamePtr BuildName(const NameFields& fields);

}  // namespace vtk

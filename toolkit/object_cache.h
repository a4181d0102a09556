// The process-wide cache of parsed certificates, CRLs and keys, keyed by path, size,
// modification time and inode, so that contexts share what was parsed and opening one
// parses nothing while the files stay as they were.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <functional>
#include <memory>
#include <string>

#include "ossl.h"

namespace vtk {

using SharedCert = std::shared_ptr<X509>;
using SharedCrl = std::shared_ptr<X509_CRL>;
using SharedKey = std::shared_ptr<EVP_PKEY>;

// ParseCertificate: a certificate from PEM or DER bytes, nullptr when it is none.
SharedCert ParseCertificate(const std::string& bytes);
// ParseCrl: a CRL from PEM or DER bytes, nullptr when it is none.
SharedCrl ParseCrl(const std::string& bytes);
// ParseRequest: a certificate request from PEM or DER bytes, nullptr when it is none
// (OpenSSL's reasons stay queued).
X509ReqPtr ParseRequest(const std::string& bytes);
// ParsePrivateKey: a private key from PEM (plain or encrypted) or DER bytes; throws
// kErrPrivateKey when it cannot be read with the password.
SharedKey ParsePrivateKey(const std::string& bytes, const std::string& password);

// Cached…: the objects of files named as ResolvePath finds them (one status query per call
// when the name is spelled as on disk, no parsing while the file keeps its stamp).
// CachedCertificate: the certificate of a file; nullptr when the file is missing or holds
// no certificate (present, when given, tells the two apart).
SharedCert CachedCertificate(const std::string& path, bool* present = nullptr);
// CachedCrl: the CRL of a file; nullptr when missing or not a CRL.
SharedCrl CachedCrl(const std::string& path);
// CachedPrivateKey: the key of a file read with a password; nullptr when the file is
// missing; throws kErrPrivateKey when it cannot be decoded.
SharedKey CachedPrivateKey(const std::string& path, const std::string& password);
// CachedDerived: any object computed from a file (extra = what else it depends on);
// recomputed when the file changes. nullptr when the file is missing; located (when given)
// tells whether a file was found at all.
std::shared_ptr<const void> CachedDerived(const std::string& kind, const std::string& path, const std::string& extra,
                                          const std::function<std::shared_ptr<const void>(const std::string& bytes)>& make,
                                          bool* located = nullptr);
// ClearObjectCache: forgets every cached object.
void ClearObjectCache();

}  // namespace vtk

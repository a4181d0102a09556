// Key pairs: generation by algorithm, PEM output (encrypted when a password is set),
// public key comparison.
#pragma once

#include <string>
#include <vector>

#include "algorithms.h"
#include "object_cache.h"
#include "ossl.h"

namespace vtk {

// GenerateKey: a new key pair (GOST R 34.10-2012 256-bit, parameter set A, or RSA of
// rsaBits, never fewer than kMinRsaBits).
PKeyPtr GenerateKey(KeyKind kind, int rsaBits);
// PrivateKeyPem: PKCS#8 PEM of a key, encrypted with AES-256-CBC when password is set.
std::string PrivateKeyPem(EVP_PKEY* key, const std::string& password);
// PublicKeyPem / PublicKeyDer: the public half as SubjectPublicKeyInfo.
std::string PublicKeyPem(EVP_PKEY* key);
std::string PublicKeyDer(EVP_PKEY* key);
// PublicKeyFromDer: the key of SubjectPublicKeyInfo bytes; null when malformed.
PKeyPtr PublicKeyFromDer(const std::string& der);
// SamePublicKey: whether two keys have the same public part.
bool SamePublicKey(EVP_PKEY* a, EVP_PKEY* b);
// FindKeyForCertificate: the key among the files of dir whose public part is the certificate's,
// read with the password (files that are no key, or not with it, are passed over); null when none.
SharedKey FindKeyForCertificate(const std::string& dir, X509* cert, const std::string& password);
// KeysNewestFirst: every key among the files of dir that opens with the password, by
// falling file name (key00002.pem before key00001.pem).
std::vector<SharedKey> KeysNewestFirst(const std::string& dir, const std::string& password);
// KeyAlgorithmName: a readable name of a key's algorithm.
std::string KeyAlgorithmName(EVP_PKEY* key);

}  // namespace vtk

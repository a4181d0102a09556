// Algorithm choice by parameter text, and the one-time start of the crypto library
// with the GOST engine.
#pragma once

#include <openssl/evp.h>
#include <openssl/types.h>

#include <string>

namespace vtk {

// EnsureCryptoReady: loads the GOST engine once per process; true when GOST is usable.
bool EnsureCryptoReady();
// GostAvailable: whether the GOST engine was loaded (after EnsureCryptoReady).
bool GostAvailable();
// GostLoadMessage: why the GOST engine could not be loaded (empty when it was).
std::string GostLoadMessage();
// IsGostAlgorithm: whether an algorithm identifier is a GOST one (under 1.2.643).
bool IsGostAlgorithm(const ASN1_OBJECT* algorithm);
// RequireGostEngine: throws kErrGostEngine, naming what needs it, when the GOST engine is
// not loaded; ...For: only when the algorithm, or the certificate's key, is a GOST one.
void RequireGostEngine(const std::string& what);
void RequireGostEngineFor(const ASN1_OBJECT* algorithm, const std::string& what);
void RequireGostEngineFor(const X509* cert, const std::string& what);

enum class KeyKind { Gost2012_256, Rsa };

// SignatureSuite: key kind and digest selected by the signature parameter.
struct SignatureSuite {
    KeyKind kind;
    const EVP_MD* digest;
};

// CipherFor: the content cipher named by the cipher parameter ("" = RUS-GAMMAR); throws.
const EVP_CIPHER* CipherFor(const std::string& name);
// SuiteFor: key kind and digest named by the signature parameter ("" = R3410-R3411); throws.
SignatureSuite SuiteFor(const std::string& name);
// DigestForKey: the digest to sign with for a given key (GOST keys always use GOST hashing).
const EVP_MD* DigestForKey(EVP_PKEY* key, const std::string& signatureParam);
// IsGostKey: whether a key is a GOST R 34.10 key.
bool IsGostKey(EVP_PKEY* key);
// kMinRsaBits: the smallest RSA key the toolkit makes; existing smaller keys still work.
constexpr int kMinRsaBits = 2048;
// RsaBits: the RSA key size asked for by the key size parameter (empty = kMinRsaBits),
// 0 to 4096; throws. GenerateKey raises a smaller size to kMinRsaBits.
int RsaBits(const std::string& value);

}  // namespace vtk

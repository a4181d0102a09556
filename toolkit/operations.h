// The toolkit's operations on a context, behind the exported functions (which only
// find the context and turn failures into codes). Each throws Failure on error.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit_api.h"
#include "context.h"

namespace vtk {

// Encryption (envelope.cpp).
void EncodeData(Context& ctx, unsigned char* data, std::int32_t* length, const char* subjects);
void DecodeData(Context& ctx, unsigned char* data, std::int32_t* length, char* subject);

// Signatures (signature.cpp). The attached form is the data, the DER signature and
// an 8-byte trailer: "VSG1" and the data length as little-endian uint32.
void SignData(Context& ctx, const unsigned char* data, std::int32_t length, unsigned char* signature,
              std::int32_t* signatureLength, const char* signer);
void VerifyData(Context& ctx, const unsigned char* data, std::int32_t* length, const unsigned char* signature,
                std::int32_t signatureLength, char* signer, bool checkTime);
void RemoveSignaturesFromFile(Context& ctx, const char* file);

// Certificates known to the context (certificates.cpp).
void GetCurrentUID(Context& ctx, char* buffer);
void GetCertificateByUID(Context& ctx, const char* subject, unsigned char* buffer, std::int32_t* length);
void LoadCertificate(Context& ctx, const unsigned char* data, std::int32_t length);
// IncludeCertificateFile: throws (-1030..-1033) unless the file holds a certificate that an
// installed CA issued, valid now and not revoked; then the context knows it.
void IncludeCertificateFile(Context& ctx, const char* file);
// AcceptCACertificateFile: throws unless the file holds a CA certificate that an installed CA
// certificate's key verifies (ca_trust.h); the caller files it in the CA directory.
void AcceptCACertificateFile(Context& ctx, const char* file);
void GetCRLIssuerName(Context& ctx, const char* file, char* output);

// Reports (cert_info.cpp).
void GetCertInfo(Context& ctx, const unsigned char* data, std::int32_t length, char* text);
void GetCertInfoEx(Context& ctx, const unsigned char* data, std::int32_t length, mpro::CertInfoRecord* record);
void FreeCertInfo(Context& ctx, mpro::CertInfoRecord* record);
void GetReqInfo(Context& ctx, const unsigned char* data, std::int32_t length, mpro::ReqInfoRecord* record);
void FreeReqInfo(Context& ctx, mpro::ReqInfoRecord* record);

// Keys and requests (requests.cpp).
void GenerateKeyAndRequest(Context& ctx, char* buffer);
void MakeRequestForPSE(Context& ctx, const char* dir, const char* requestFile);
bool CertificateAndRequestMatch(Context& ctx, const char* certFile, const char* requestFile);
bool CertificateAndPrivateKeyMatch(Context& ctx, const char* certFile, const char* keyFile);
bool CertificateAndPSePrivateKeyMatch(Context& ctx, const char* certFile, const char* dir);
bool CertificateAndPSePrivateKeysMatch(Context& ctx, const char* certFile, const char* dir, char* output);
void PSePrivateKeyBackup(Context& ctx, const char* dir, char* output);

}  // namespace vtk

// The exports that forward to exactly one engine operation, arguments in the order received.
#include "exports/export_call.h"
#include "vorlan13.h"

using E = vorlan::TCryptoEngine;
using vorlan::exports::Forward;
using vorlan::exports::ForwardVoid;
using vorlan::exports::kExceptionResult;
using vorlan::exports::kQueryError;

extern "C" {

// Size and count queries.
int32_t VORLAN_API GetMaxEncodeAddition(VORLAN_HANDLE h) { return Forward<&E::GetMaxEncodeAddition, kQueryError>(h); }
int32_t VORLAN_API GetMaxSignatureLength(VORLAN_HANDLE h) { return Forward<&E::GetMaxSignatureLength, kQueryError>(h); }
int32_t VORLAN_API GetMaxUIDLength(VORLAN_HANDLE h) { return Forward<&E::GetMaxUIDLength, kQueryError>(h); }
int32_t VORLAN_API GetMaxCryptoParamNameLength(VORLAN_HANDLE h) {
    return Forward<&E::GetMaxCryptoParamNameLength, kQueryError>(h);
}
int32_t VORLAN_API GetMaxCryptoParamValueLength(VORLAN_HANDLE h) {
    return Forward<&E::GetMaxCryptoParamValueLength, kQueryError>(h);
}
int32_t VORLAN_API GetMaxErrorStringLength(VORLAN_HANDLE h) { return Forward<&E::GetMaxErrorStringLength, kQueryError>(h); }
int32_t VORLAN_API GetCryptoParamNumber(VORLAN_HANDLE h) { return Forward<&E::GetCryptoParamNumber, kQueryError>(h); }
int32_t VORLAN_API GetMaxPasswordLength(VORLAN_HANDLE h) { return Forward<&E::GetMaxPasswordLength, kQueryError>(h); }
int32_t VORLAN_API GetMaxSignAddition(VORLAN_HANDLE h) { return Forward<&E::GetMaxSignAddition, kQueryError>(h); }
int32_t VORLAN_API GetMaxPublicKeyTransferSize(VORLAN_HANDLE h) {
    return Forward<&E::GetMaxPublicKeyTransferSize, kQueryError>(h);
}
int32_t VORLAN_API GetRemoteGenType(VORLAN_HANDLE h) { return Forward<&E::GetRemoteGenType, kQueryError>(h); }
int32_t VORLAN_API GetMaxReportSize(VORLAN_HANDLE h) { return Forward<&E::GetMaxReportSize, kQueryError>(h); }
int32_t VORLAN_API GetMaxPublicKeyPropertiesLength(VORLAN_HANDLE h) { return Forward<&E::GetMaxReportSize, kQueryError>(h); }
int32_t VORLAN_API GetMaxAdditionEx(VORLAN_HANDLE h, const char* recipients) {
    return Forward<&E::GetMaxAdditionEx, kQueryError>(h, recipients);
}

// Parameters, texts and callbacks.
void VORLAN_API GetCryptoParamName(VORLAN_HANDLE h, int32_t index, char* name) {
    ForwardVoid<&E::GetCryptoParamName>(h, index, name);
}
void VORLAN_API GetCryptoParamValue(VORLAN_HANDLE h, int32_t index, char* value) {
    ForwardVoid<&E::GetCryptoParamValue>(h, index, value);
}
int32_t VORLAN_API SetCryptoParamValue(VORLAN_HANDLE h, int32_t index, const char* value) {
    return Forward<&E::SetCryptoParamValue, kExceptionResult>(h, index, value);
}
int32_t VORLAN_API GetParamInfo(VORLAN_HANDLE h, int32_t index, int32_t* kind, char* hint, int32_t* length) {
    return Forward<&E::GetParamInfo, kExceptionResult>(h, index, kind, hint, length);
}
void VORLAN_API GetCryptoErrorString(VORLAN_HANDLE h, int32_t code, char* message) {
    ForwardVoid<&E::GetCryptoErrorString>(h, code, message);
}
void VORLAN_API GetLastErrorMessage(VORLAN_HANDLE h, char* message) { ForwardVoid<&E::GetLastErrorMessage>(h, message); }
void VORLAN_API SetPasswordRequestFunc(VORLAN_HANDLE h, void* callback) {
    ForwardVoid<&E::SetPasswordRequestFunc>(h, callback);
}
void VORLAN_API SetRemoteGeneratePath(VORLAN_HANDLE h, const char* directory) {
    ForwardVoid<&E::SetRemoteGeneratePath>(h, directory);
}
void VORLAN_API ClearCash(VORLAN_HANDLE h) { ForwardVoid<&E::ClearCash>(h); }

// Encryption and signatures.
int32_t VORLAN_API EncodeData(VORLAN_HANDLE h, unsigned char* buffer, int32_t* size, const char* recipients) {
    return Forward<&E::EncodeData, kExceptionResult>(h, buffer, size, recipients);
}
int32_t VORLAN_API DecodeData(VORLAN_HANDLE h, unsigned char* buffer, int32_t* size, char* output) {
    return Forward<&E::DecodeData, kExceptionResult>(h, buffer, size, output);
}
int32_t VORLAN_API SignData(VORLAN_HANDLE h, const unsigned char* data, int32_t length, unsigned char* signature,
                            int32_t* signatureLength, const char* signer) {
    return Forward<&E::SignData, kExceptionResult>(h, data, length, signature, signatureLength, signer);
}
int32_t VORLAN_API VerifyData(VORLAN_HANDLE h, const unsigned char* data, int32_t length,
                              const unsigned char* signature, int32_t signatureLength, char* signer) {
    return Forward<&E::VerifyData, kExceptionResult>(h, data, length, signature, signatureLength, signer);
}
int32_t VORLAN_API VerifySignWOCheckValidity(VORLAN_HANDLE h, const unsigned char* data, int32_t length,
                                             const unsigned char* signature, int32_t signatureLength, char* signer) {
    return Forward<&E::VerifySignWOCheckValidity, kExceptionResult>(h, data, length, signature, signatureLength, signer);
}
int32_t VORLAN_API AddSign(VORLAN_HANDLE h, unsigned char* buffer, int32_t* size, const char* signer) {
    return Forward<&E::AddSign, kExceptionResult>(h, buffer, size, signer);
}
int32_t VORLAN_API RemoveSign(VORLAN_HANDLE h, unsigned char* buffer, int32_t* size, char* signer) {
    return Forward<&E::RemoveSign, kExceptionResult>(h, buffer, size, signer);
}
int32_t VORLAN_API SaveSignedDataToFile(VORLAN_HANDLE h, const unsigned char* data, int32_t length,
                                        const unsigned char* signature, int32_t signatureLength, const char* fileName) {
    return Forward<&E::SaveSignedDataToFile, kExceptionResult>(h, data, length, signature, signatureLength, fileName);
}

// Identity, keys and the certificate store.
int32_t VORLAN_API GetEncodeUIDBySignUID(VORLAN_HANDLE h, const char* signUid, char* encodeUid) {
    return Forward<&E::GetEncodeUIDBySignUID, kExceptionResult>(h, signUid, encodeUid);
}
int32_t VORLAN_API GetCurrentUserUID(VORLAN_HANDLE h, char* uid) {
    return Forward<&E::GetCurrentUserUID, kExceptionResult>(h, uid);
}
int32_t VORLAN_API GenerateNewSSK(VORLAN_HANDLE h) { return Forward<&E::GenerateNewSSK, kExceptionResult>(h); }
int32_t VORLAN_API GenerateNewSEK(VORLAN_HANDLE h) { return Forward<&E::GenerateNewSEK, kExceptionResult>(h); }
int32_t VORLAN_API TransSignatureFromFileToTM(VORLAN_HANDLE h) {
    return Forward<&E::TransSignatureFromFileToTM, kExceptionResult>(h);
}
int32_t VORLAN_API TransPrivateKeyFromFileToTM(VORLAN_HANDLE h) {
    return Forward<&E::TransPrivateKeyFromFileToTM, kExceptionResult>(h);
}
int32_t VORLAN_API IncludePublicKey(VORLAN_HANDLE h, const char* fileName) {
    return Forward<&E::IncludePublicKey, kExceptionResult>(h, fileName);
}
int32_t VORLAN_API IncludePublicEncodeKey(VORLAN_HANDLE h, const char* fileName) {
    return Forward<&E::IncludePublicEncodeKey, kExceptionResult>(h, fileName);
}
int32_t VORLAN_API RemoveCertificate(VORLAN_HANDLE h, const char* uid) {
    return Forward<&E::RemoveCertificate, kExceptionResult>(h, uid);
}
int32_t VORLAN_API IncludeCRL(VORLAN_HANDLE h, const char* fileName) {
    return Forward<&E::IncludeCRL, kExceptionResult>(h, fileName);
}
int32_t VORLAN_API CreateDirStructure(VORLAN_HANDLE h, const char* certificateFile, const char* caFiles) {
    return Forward<&E::CreateDirStructure, kExceptionResult>(h, certificateFile, caFiles);
}

// Public key transfers and remote key generation.
int32_t VORLAN_API RemoteGenerateStart(VORLAN_HANDLE h, char* transfer) {
    return Forward<&E::RemoteGenerateStart, kExceptionResult>(h, transfer);
}
int32_t VORLAN_API RemoteGenerateFinish(VORLAN_HANDLE h, const char* transfer) {
    return Forward<&E::RemoteGenerateFinish, kExceptionResult>(h, transfer);
}
int32_t VORLAN_API RemoteGenerateStartEx(VORLAN_HANDLE h, const char* name, char* buffer, int32_t* step) {
    return Forward<&E::RemoteGenerateStartEx, kExceptionResult>(h, name, buffer, step);
}
int32_t VORLAN_API RemoteGenerateFinishEx(VORLAN_HANDLE h, const char* transfer, int32_t* step) {
    return Forward<&E::RemoteGenerateFinishEx, kExceptionResult>(h, transfer, step);
}
int32_t VORLAN_API GetPublicKeyTransfer(VORLAN_HANDLE h, const char* uid, char* transfer) {
    return Forward<&E::GetPublicKeyTransfer, kExceptionResult>(h, uid, transfer);
}
int32_t VORLAN_API SavePublicKeyFromTransfer(VORLAN_HANDLE h, const char* directory, const char* transfer) {
    return Forward<&E::SavePublicKeyFromTransfer, kExceptionResult>(h, directory, transfer);
}
int32_t VORLAN_API IncludePublicKeyTransfer(VORLAN_HANDLE h, const char* transfer) {
    return Forward<&E::IncludePublicKeyTransfer, kExceptionResult>(h, transfer);
}
int32_t VORLAN_API ExcludeSelfPublicKeyTransfer(VORLAN_HANDLE h, char* transfer) {
    return Forward<&E::ExcludeSelfPublicKeyTransfer, kExceptionResult>(h, transfer);
}
int32_t VORLAN_API GetPublicKeyTransferByFile(VORLAN_HANDLE h, char* transfer, const char* fileName) {
    return Forward<&E::GetPublicKeyTransferByFile, kExceptionResult>(h, transfer, fileName);
}
int32_t VORLAN_API GetUIDByPublicKeyTransfer(VORLAN_HANDLE h, const char* transfer, char* uid) {
    return Forward<&E::GetUIDByPublicKeyTransfer, kExceptionResult>(h, transfer, uid);
}
int32_t VORLAN_API IncludeCACertificateFromTransfer(VORLAN_HANDLE h, const char* transfer) {
    return Forward<&E::IncludeCACertificateFromTransfer, kExceptionResult>(h, transfer);
}
int32_t VORLAN_API CertAndRequestTransferMatch(VORLAN_HANDLE h, const char* certificateTransfer,
                                               const char* requestTransfer, int32_t* match) {
    return Forward<&E::CertAndRequestTransferMatch, kExceptionResult>(h, certificateTransfer, requestTransfer, match);
}

// Reports and properties.
int32_t VORLAN_API GetReport(VORLAN_HANDLE h, const char* uid, char* report) {
    return Forward<&E::GetReport, kExceptionResult>(h, uid, report);
}
int32_t VORLAN_API GetPublicKeyProperties(VORLAN_HANDLE h, const char* uid, char* properties) {
    return Forward<&E::GetReport, kExceptionResult>(h, uid, properties);
}
int32_t VORLAN_API GetPublicKeyPropertiesByTransfer(VORLAN_HANDLE h, const char* transfer, char* properties) {
    return Forward<&E::GetPublicKeyPropertiesByTransfer, kExceptionResult>(h, transfer, properties);
}
int32_t VORLAN_API GetPublicKeyPropertiesByFile(VORLAN_HANDLE h, const char* fileName, char* properties) {
    return Forward<&E::GetPublicKeyPropertiesByFile, kExceptionResult>(h, fileName, properties);
}

// Operations the engine does not provide: the base default answers.
int32_t VORLAN_API SignFile(VORLAN_HANDLE h, intptr_t a) { return Forward<&E::SignFile, kExceptionResult>(h, a); }
int32_t VORLAN_API VerifyFile(VORLAN_HANDLE h, intptr_t a, intptr_t b) {
    return Forward<&E::VerifyFile, kExceptionResult>(h, a, b);
}
int32_t VORLAN_API RemoveSignaturesFromFile(VORLAN_HANDLE h, intptr_t a) {
    return Forward<&E::RemoveSignaturesFromFile, kExceptionResult>(h, a);
}
int32_t VORLAN_API ConvertTransferToSignedRequest(VORLAN_HANDLE h, intptr_t a) {
    return Forward<&E::ConvertTransferToSignedRequest, kExceptionResult>(h, a);
}
int32_t VORLAN_API HashData(VORLAN_HANDLE h, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e) {
    return Forward<&E::HashData, kExceptionResult>(h, a, b, c, d, e);
}
int32_t VORLAN_API ShowCertificate(VORLAN_HANDLE h, intptr_t a) {
    return Forward<&E::ShowCertificate, kExceptionResult>(h, a);
}
int32_t VORLAN_API GetPureSign(VORLAN_HANDLE h, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e) {
    return Forward<&E::GetPureSign, kExceptionResult>(h, a, b, c, d, e);
}
int32_t VORLAN_API GetUIDByCertIdent(VORLAN_HANDLE h, intptr_t a, intptr_t b) {
    return Forward<&E::GetUIDByCertIdent, kExceptionResult>(h, a, b);
}
int32_t VORLAN_API InstallCertsInMyStore(VORLAN_HANDLE h, intptr_t a) {
    return Forward<&E::InstallCertsInMyStore, kExceptionResult>(h, a);
}

}  // extern "C"

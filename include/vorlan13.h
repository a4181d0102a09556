/* vorlan13: the library's whole interface, 75 flat functions over an engine handle.
 * Texts are NUL-terminated 8-bit strings; output buffers belong to the caller and are
 * sized by the matching GetMax... query. Results: 0 success, negative a failure code. */
#ifndef VORLAN13_H
#define VORLAN13_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VORLAN_API __stdcall
#else
#define VORLAN_API
#endif

/* An engine, as handed out by GetCryptObj; opaque to the caller, pointer-sized. */
typedef struct VorlanEngine* VORLAN_HANDLE;

#ifdef __cplusplus
extern "C" {
#endif

/* GetCryptObj: creates a new engine and returns its handle (null on failure); the argument is ignored. */
VORLAN_HANDLE VORLAN_API GetCryptObj(int32_t reserved);
/* DoneEngine: destroys the engine; a null or unknown handle is ignored. */
void VORLAN_API DoneEngine(VORLAN_HANDLE engine);

/* GetMaxEncodeAddition: bytes that encryption may add to the data (-1 on error). */
int32_t VORLAN_API GetMaxEncodeAddition(VORLAN_HANDLE engine);
/* GetMaxSignatureLength: the largest detached signature (-1 on error). */
int32_t VORLAN_API GetMaxSignatureLength(VORLAN_HANDLE engine);
/* GetMaxUIDLength: buffer size for a UID (-1 on error). */
int32_t VORLAN_API GetMaxUIDLength(VORLAN_HANDLE engine);
/* GetMaxCryptoParamNameLength: buffer size for a parameter name (-1 on error). */
int32_t VORLAN_API GetMaxCryptoParamNameLength(VORLAN_HANDLE engine);
/* GetMaxCryptoParamValueLength: buffer size for a parameter value (-1 on error). */
int32_t VORLAN_API GetMaxCryptoParamValueLength(VORLAN_HANDLE engine);
/* GetMaxErrorStringLength: buffer size for an error text (-1 on error). */
int32_t VORLAN_API GetMaxErrorStringLength(VORLAN_HANDLE engine);
/* GetCryptoParamNumber: the number of engine parameters (-1 on error). */
int32_t VORLAN_API GetCryptoParamNumber(VORLAN_HANDLE engine);
/* GetCryptoParamName: the name of parameter index (from 1) into name. */
void VORLAN_API GetCryptoParamName(VORLAN_HANDLE engine, int32_t index, char* name);
/* GetCryptoParamValue: the current value of parameter index (from 1) into value. */
void VORLAN_API GetCryptoParamValue(VORLAN_HANDLE engine, int32_t index, char* value);
/* SetCryptoParamValue: sets parameter index (from 1) to value (-102 on error). */
int32_t VORLAN_API SetCryptoParamValue(VORLAN_HANDLE engine, int32_t index, const char* value);
/* GetEncodeUIDBySignUID: the encryption UID that belongs to a signature UID (-102 on error). */
int32_t VORLAN_API GetEncodeUIDBySignUID(VORLAN_HANDLE engine, const char* signUid, char* encodeUid);
/* GetCryptoErrorString: the text of a result code into message. */
void VORLAN_API GetCryptoErrorString(VORLAN_HANDLE engine, int32_t code, char* message);

/* EncodeData: encrypts buffer[0..*size) in place for the recipients ("A;B"); *size becomes the output size. */
int32_t VORLAN_API EncodeData(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, const char* recipients);
/* DecodeData: decrypts buffer[0..*size) in place; output must not be null (-102 on error). */
int32_t VORLAN_API DecodeData(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, char* output);
/* SignData: a detached signature of data into signature; *signatureLength: capacity in, length out. */
int32_t VORLAN_API SignData(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                            unsigned char* signature, int32_t* signatureLength, const char* signer);
/* VerifyData: checks a detached signature; the signer's UID goes to signer. */
int32_t VORLAN_API VerifyData(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                              const unsigned char* signature, int32_t signatureLength, char* signer);
/* GetCurrentUserUID: the UID of the current user (-102 on error). */
int32_t VORLAN_API GetCurrentUserUID(VORLAN_HANDLE engine, char* uid);
/* GenerateNewSSK: new signature keys, made as a certificate request. */
int32_t VORLAN_API GenerateNewSSK(VORLAN_HANDLE engine);
/* GenerateNewSEK: new encryption keys, made as a certificate request. */
int32_t VORLAN_API GenerateNewSEK(VORLAN_HANDLE engine);
/* IsDifferentKeys: -1 when signature and encryption keys differ, 0 when not (-1 on error). */
int32_t VORLAN_API IsDifferentKeys(VORLAN_HANDLE engine);
/* SetPasswordRequestFunc: stores the host's password callback. */
void VORLAN_API SetPasswordRequestFunc(VORLAN_HANDLE engine, void* callback);
/* GetMaxPasswordLength: buffer size for a password (-1 on error). */
int32_t VORLAN_API GetMaxPasswordLength(VORLAN_HANDLE engine);
/* IncludePublicKey: files the correspondent certificate of fileName under its UID. */
int32_t VORLAN_API IncludePublicKey(VORLAN_HANDLE engine, const char* fileName);
/* IncludePublicEncodeKey: files the correspondent encryption certificate of fileName. */
int32_t VORLAN_API IncludePublicEncodeKey(VORLAN_HANDLE engine, const char* fileName);
/* SignFile, VerifyFile, RemoveSignaturesFromFile: not provided (-1); arguments are not examined. */
int32_t VORLAN_API SignFile(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API VerifyFile(VORLAN_HANDLE engine, intptr_t a, intptr_t b);
int32_t VORLAN_API RemoveSignaturesFromFile(VORLAN_HANDLE engine, intptr_t a);
/* GetLastErrorMessage: the toolkit's last message into message. */
void VORLAN_API GetLastErrorMessage(VORLAN_HANDLE engine, char* message);
/* SetRootPath: sets the process-wide installation root (once per process), then the engine's root. */
void VORLAN_API SetRootPath(VORLAN_HANDLE engine, const char* root);
/* TransSignatureFromFileToTM: moves the signature key from its file to the token. */
int32_t VORLAN_API TransSignatureFromFileToTM(VORLAN_HANDLE engine);
/* TransPrivateKeyFromFileToTM: moves the private key from its file to the token. */
int32_t VORLAN_API TransPrivateKeyFromFileToTM(VORLAN_HANDLE engine);
/* SetTMRequestFunc: stores the host's token callback. */
void VORLAN_API SetTMRequestFunc(VORLAN_HANDLE engine, void* callback);
/* ClearCash: forgets every cached certificate and toolkit context. */
void VORLAN_API ClearCash(VORLAN_HANDLE engine);

/* RemoteGenerateStart: starts remote key generation; the request transfer goes to transfer. */
int32_t VORLAN_API RemoteGenerateStart(VORLAN_HANDLE engine, char* transfer);
/* SetRemoteGeneratePath: the directory used by remote key generation. */
void VORLAN_API SetRemoteGeneratePath(VORLAN_HANDLE engine, const char* directory);
/* AddSign: attaches the signer's signature to buffer[0..*size); *size becomes the output size. */
int32_t VORLAN_API AddSign(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, const char* signer);
/* RemoveSign: verifies and removes an attached signature; the signer's UID goes to signer. */
int32_t VORLAN_API RemoveSign(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, char* signer);
/* GetMaxSignAddition: bytes that an attached signature may add (-1 on error). */
int32_t VORLAN_API GetMaxSignAddition(VORLAN_HANDLE engine);
/* GetPublicKeyTransfer: the public key transfer of the certificate filed under uid. */
int32_t VORLAN_API GetPublicKeyTransfer(VORLAN_HANDLE engine, const char* uid, char* transfer);
/* RemoteGenerateFinish: completes remote key generation with the transfer of the issued certificate. */
int32_t VORLAN_API RemoteGenerateFinish(VORLAN_HANDLE engine, const char* transfer);
/* SavePublicKeyFromTransfer: writes the certificate of a transfer into directory. */
int32_t VORLAN_API SavePublicKeyFromTransfer(VORLAN_HANDLE engine, const char* directory, const char* transfer);
/* GetMaxPublicKeyTransferSize: buffer size for a transfer (-1 on error). */
int32_t VORLAN_API GetMaxPublicKeyTransferSize(VORLAN_HANDLE engine);
/* IncludePublicKeyTransfer: files the certificate carried by a transfer. */
int32_t VORLAN_API IncludePublicKeyTransfer(VORLAN_HANDLE engine, const char* transfer);
/* ExcludeSelfPublicKeyTransfer: the transfer of the current user's own certificate. */
int32_t VORLAN_API ExcludeSelfPublicKeyTransfer(VORLAN_HANDLE engine, char* transfer);
/* GetMaxFilePathLength: 255, for any handle. */
int32_t VORLAN_API GetMaxFilePathLength(VORLAN_HANDLE engine);
/* GetRemoteGenType: the kind of remote key generation the engine does (-1 on error). */
int32_t VORLAN_API GetRemoteGenType(VORLAN_HANDLE engine);
/* SaveSignedDataToFile: writes the data immediately followed by the signature to fileName. */
int32_t VORLAN_API SaveSignedDataToFile(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                                        const unsigned char* signature, int32_t signatureLength,
                                        const char* fileName);
/* GetPublicKeyTransferByFile: the transfer of the certificate or request in fileName. */
int32_t VORLAN_API GetPublicKeyTransferByFile(VORLAN_HANDLE engine, char* transfer, const char* fileName);
/* GetMaxReportSize: buffer size for a report (-1 on error). */
int32_t VORLAN_API GetMaxReportSize(VORLAN_HANDLE engine);
/* GetReport: the key=value report of the certificate filed under uid. */
int32_t VORLAN_API GetReport(VORLAN_HANDLE engine, const char* uid, char* report);
/* GetMaxAdditionEx: bytes that encryption for these recipients may add (-1 on error). */
int32_t VORLAN_API GetMaxAdditionEx(VORLAN_HANDLE engine, const char* recipients);
/* GetUIDByPublicKeyTransfer: the owner UID carried by a transfer. */
int32_t VORLAN_API GetUIDByPublicKeyTransfer(VORLAN_HANDLE engine, const char* transfer, char* uid);
/* UpdateCertificateCash: refreshes the cache for fileName; a "not provided" answer clears it and gives 0. */
int32_t VORLAN_API UpdateCertificateCash(VORLAN_HANDLE engine, const char* fileName);
/* GetMaxPublicKeyPropertiesLength: the same value as GetMaxReportSize. */
int32_t VORLAN_API GetMaxPublicKeyPropertiesLength(VORLAN_HANDLE engine);
/* GetPublicKeyProperties: the same text as GetReport. */
int32_t VORLAN_API GetPublicKeyProperties(VORLAN_HANDLE engine, const char* uid, char* properties);
/* RemoteGenerateStartEx: one step of remote key generation; *step is read and advanced. */
int32_t VORLAN_API RemoteGenerateStartEx(VORLAN_HANDLE engine, const char* name, char* buffer, int32_t* step);
/* RemoteGenerateFinishEx: one finishing step with the issued certificate's transfer. */
int32_t VORLAN_API RemoteGenerateFinishEx(VORLAN_HANDLE engine, const char* transfer, int32_t* step);
/* GetPublicKeyPropertiesByTransfer: the properties text of the certificate in a transfer. */
int32_t VORLAN_API GetPublicKeyPropertiesByTransfer(VORLAN_HANDLE engine, const char* transfer, char* properties);
/* GetPublicKeyPropertiesByFile: the properties text of the certificate or request in fileName. */
int32_t VORLAN_API GetPublicKeyPropertiesByFile(VORLAN_HANDLE engine, const char* fileName, char* properties);
/* IncludeCACertificateFromTransfer: files the CA certificate carried by a transfer. */
int32_t VORLAN_API IncludeCACertificateFromTransfer(VORLAN_HANDLE engine, const char* transfer);
/* CreateDirStructure: the directories of an installation from the user's and the CA certificates. */
int32_t VORLAN_API CreateDirStructure(VORLAN_HANDLE engine, const char* certificateFile, const char* caFiles);
/* RemoveCertificate: removes the correspondent certificate filed under uid. */
int32_t VORLAN_API RemoveCertificate(VORLAN_HANDLE engine, const char* uid);
/* VerifySignWOCheckValidity: as VerifyData, without the validity-time check. */
int32_t VORLAN_API VerifySignWOCheckValidity(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                                             const unsigned char* signature, int32_t signatureLength,
                                             char* signer);
/* CertAndRequestTransferMatch: *match tells whether a certificate transfer answers a request transfer. */
int32_t VORLAN_API CertAndRequestTransferMatch(VORLAN_HANDLE engine, const char* certificateTransfer,
                                               const char* requestTransfer, int32_t* match);
/* IncludeCRL: installs the revocation list of fileName. */
int32_t VORLAN_API IncludeCRL(VORLAN_HANDLE engine, const char* fileName);
/* ConvertTransferToSignedRequest, HashData, ShowCertificate, GetPureSign, GetUIDByCertIdent,
 * InstallCertsInMyStore: not provided (-1); arguments are not examined. */
int32_t VORLAN_API ConvertTransferToSignedRequest(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API HashData(VORLAN_HANDLE engine, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e);
int32_t VORLAN_API ShowCertificate(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API GetPureSign(VORLAN_HANDLE engine, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e);
int32_t VORLAN_API GetUIDByCertIdent(VORLAN_HANDLE engine, intptr_t a, intptr_t b);
int32_t VORLAN_API InstallCertsInMyStore(VORLAN_HANDLE engine, intptr_t a);
/* RegisterOIDInfo: registers an object identifier; the second text is taken in the ANSI code page. */
int32_t VORLAN_API RegisterOIDInfo(VORLAN_HANDLE engine, const char* first, const char* second);
/* GetParamInfo: kind, hint text and length of parameter index. */
int32_t VORLAN_API GetParamInfo(VORLAN_HANDLE engine, int32_t index, int32_t* kind, char* hint, int32_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VORLAN13_H */

/* vorlan13: the library's whole interface, 75 flat functions over an engine handle.
 * Texts are NUL-terminated 8-bit strings: on Windows in the process's ANSI code page, on
 * Linux in UTF-8 (UIDs, names, file names, reports, error texts); output buffers belong to
 * the caller and are sized by the matching GetMax... query; the library hands out no memory.
 * Results: 0 success, a negative code for a failure (GetCryptoErrorString gives its text);
 * an export given a handle that is not live returns its error result without a crash.
 * Paths may begin with "%ZELRoot%", which the engine replaces by its installation root.
 * On 32-bit Windows every export is __stdcall, exported by name at a fixed ordinal. */
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

/* GetCryptObj: creates a new engine (the PSE engine: keys in a personal security environment)
 * and returns its handle, null when it cannot; the argument is ignored. */
VORLAN_HANDLE VORLAN_API GetCryptObj(int32_t reserved);
/* DoneEngine: destroys the engine and releases what it holds (a key renewal's lock too);
 * a null or unknown handle is ignored. */
void VORLAN_API DoneEngine(VORLAN_HANDLE engine);

/* GetMaxEncodeAddition: bytes that encryption for one recipient may add to the data (-1 on error). */
int32_t VORLAN_API GetMaxEncodeAddition(VORLAN_HANDLE engine);
/* GetMaxSignatureLength: the largest detached signature (-1 on error). */
int32_t VORLAN_API GetMaxSignatureLength(VORLAN_HANDLE engine);
/* GetMaxUIDLength: buffer size for a UID, 161: at most 40 characters of up to 4 bytes and the
 * zero (-1 on error). A UID that does not fit is refused with -140. */
int32_t VORLAN_API GetMaxUIDLength(VORLAN_HANDLE engine);
/* GetMaxCryptoParamNameLength: buffer size for a parameter name (-1 on error). */
int32_t VORLAN_API GetMaxCryptoParamNameLength(VORLAN_HANDLE engine);
/* GetMaxCryptoParamValueLength: buffer size for a parameter value (-1 on error). */
int32_t VORLAN_API GetMaxCryptoParamValueLength(VORLAN_HANDLE engine);
/* GetMaxErrorStringLength: buffer size for an error text (-1 on error). */
int32_t VORLAN_API GetMaxErrorStringLength(VORLAN_HANDLE engine);
/* GetCryptoParamNumber: the number of engine parameters, as the toolkit reports it (-1 on error). */
int32_t VORLAN_API GetCryptoParamNumber(VORLAN_HANDLE engine);
/* GetCryptoParamName: the toolkit's name of parameter index (from 1) into name
 * (GetMaxCryptoParamNameLength bytes). */
void VORLAN_API GetCryptoParamName(VORLAN_HANDLE engine, int32_t index, char* name);
/* GetCryptoParamValue: the current value of parameter index (from 1) into value
 * (GetMaxCryptoParamValueLength bytes). */
void VORLAN_API GetCryptoParamValue(VORLAN_HANDLE engine, int32_t index, char* value);
/* SetCryptoParamValue: sets parameter index (from 1) to value; file and directory parameters
 * get "%ZELRoot%" replaced. -101 for index 0 or a null value, -1 beyond the last parameter. */
int32_t VORLAN_API SetCryptoParamValue(VORLAN_HANDLE engine, int32_t index, const char* value);
/* GetEncodeUIDBySignUID: the encryption UID of a correspondent's signature UID (the same UID),
 * into encodeUid of GetMaxUIDLength bytes. */
int32_t VORLAN_API GetEncodeUIDBySignUID(VORLAN_HANDLE engine, const char* signUid, char* encodeUid);
/* GetCryptoErrorString: the text of a result code (the engine's, the binding's or the toolkit's)
 * into message of GetMaxErrorStringLength bytes; empty when the code has none. */
void VORLAN_API GetCryptoErrorString(VORLAN_HANDLE engine, int32_t code, char* message);

/* EncodeData: encrypts buffer[0..*size) in place for the recipients ("A;B", their UIDs, or
 * parameter 19 when empty); the buffer has GetMaxAdditionEx bytes more; *size becomes the
 * output's size. A recipient whose certificate is expired, revoked or of an unknown CA is refused. */
int32_t VORLAN_API EncodeData(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, const char* recipients);
/* DecodeData: decrypts buffer[0..*size) in place when it is addressed to the current user;
 * *size becomes the plain text's size. output: a scratch buffer of GetMaxUIDLength bytes. */
int32_t VORLAN_API DecodeData(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, char* output);
/* SignData: a detached signature of data[0..length) into signature; *signatureLength: capacity
 * in (GetMaxSignatureLength), length out. signer: a UID whose certificate signs, or null/empty. */
int32_t VORLAN_API SignData(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                            unsigned char* signature, int32_t* signatureLength, const char* signer);
/* VerifyData: checks a detached signature of data, with the signer's certificate chain, its
 * revocation and its validity time; the signer's UID goes to signer (GetMaxUIDLength bytes). */
int32_t VORLAN_API VerifyData(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                              const unsigned char* signature, int32_t signatureLength, char* signer);
/* GetCurrentUserUID: the UID of the current user, from the own certificate (parameter 1). */
int32_t VORLAN_API GetCurrentUserUID(VORLAN_HANDLE engine, char* uid);
/* GenerateNewSSK: as GenerateNewSEK. */
int32_t VORLAN_API GenerateNewSSK(VORLAN_HANDLE engine);
/* GenerateNewSEK: a certificate request (parameter 9) for the key container of the PSE
 * (parameter 3) with the subject of parameters 11-17 and 24. */
int32_t VORLAN_API GenerateNewSEK(VORLAN_HANDLE engine);
/* IsDifferentKeys: -1 when signature and encryption keys differ, 0 when not (always 0 here). */
int32_t VORLAN_API IsDifferentKeys(VORLAN_HANDLE engine);
/* SetPasswordRequestFunc: stores the host's password callback (kept, never called). */
void VORLAN_API SetPasswordRequestFunc(VORLAN_HANDLE engine, void* callback);
/* GetMaxPasswordLength: buffer size for a password (-1 on error). */
int32_t VORLAN_API GetMaxPasswordLength(VORLAN_HANDLE engine);
/* IncludePublicKey: moves the certificate file into the certificate directory (parameter 2) as
 * UID.pem, the one it replaces kept as UID.001, UID.002 ... */
int32_t VORLAN_API IncludePublicKey(VORLAN_HANDLE engine, const char* fileName);
/* IncludePublicEncodeKey: as IncludePublicKey, for a correspondent's encryption certificate. */
int32_t VORLAN_API IncludePublicEncodeKey(VORLAN_HANDLE engine, const char* fileName);
/* SignFile, VerifyFile, RemoveSignaturesFromFile: not provided (-1); arguments are not examined. */
int32_t VORLAN_API SignFile(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API VerifyFile(VORLAN_HANDLE engine, intptr_t a, intptr_t b);
int32_t VORLAN_API RemoveSignaturesFromFile(VORLAN_HANDLE engine, intptr_t a);
/* GetLastErrorMessage: the toolkit's last message (what OpenSSL found), or the library's reason
 * for its own refusal, into message (GetMaxErrorStringLength bytes). */
void VORLAN_API GetLastErrorMessage(VORLAN_HANDLE engine, char* message);
/* SetRootPath: sets the process-wide installation root, then the engine's root; a second,
 * different root in the same process is refused and leaves the engine's root unchanged. */
void VORLAN_API SetRootPath(VORLAN_HANDLE engine, const char* root);
/* TransSignatureFromFileToTM: no token here; returns 0 and touches nothing. */
int32_t VORLAN_API TransSignatureFromFileToTM(VORLAN_HANDLE engine);
/* TransPrivateKeyFromFileToTM: no token here; returns 0 and touches nothing. */
int32_t VORLAN_API TransPrivateKeyFromFileToTM(VORLAN_HANDLE engine);
/* SetTMRequestFunc: stores the host's token callback (kept, never called). */
void VORLAN_API SetTMRequestFunc(VORLAN_HANDLE engine, void* callback);
/* ClearCash: forgets every cached toolkit context, so that the next call re-reads certificates
 * and CRLs. */
void VORLAN_API ClearCash(VORLAN_HANDLE engine);

/* RemoteGenerateStart: the single-call key renewal, not offered by the PSE engine (-1);
 * see RemoteGenerateStartEx. */
int32_t VORLAN_API RemoteGenerateStart(VORLAN_HANDLE engine, char* transfer);
/* SetRemoteGeneratePath: the directory where key renewal keeps its work between the steps. */
void VORLAN_API SetRemoteGeneratePath(VORLAN_HANDLE engine, const char* directory);
/* AddSign: attaches the signer's signature to buffer[0..*size), which has GetMaxSignAddition
 * bytes more; *size becomes the output's size. signer: a UID, or null/empty for the own keys. */
int32_t VORLAN_API AddSign(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, const char* signer);
/* RemoveSign: verifies and removes an attached signature in place; *size becomes the data's
 * size; the signer's UID goes to signer (GetMaxUIDLength bytes). */
int32_t VORLAN_API RemoveSign(VORLAN_HANDLE engine, unsigned char* buffer, int32_t* size, char* signer);
/* GetMaxSignAddition: bytes that an attached signature may add (-1 on error). */
int32_t VORLAN_API GetMaxSignAddition(VORLAN_HANDLE engine);
/* GetPublicKeyTransfer: the transfer of the certificate filed under uid, signed by the current
 * user, into transfer (GetMaxPublicKeyTransferSize + 1 bytes). */
int32_t VORLAN_API GetPublicKeyTransfer(VORLAN_HANDLE engine, const char* uid, char* transfer);
/* RemoteGenerateFinish: the single-call finish, not offered by the PSE engine (-1); see
 * RemoteGenerateFinishEx. */
int32_t VORLAN_API RemoteGenerateFinish(VORLAN_HANDLE engine, const char* transfer);
/* SavePublicKeyFromTransfer: checks a transfer's signature and writes the certificate or
 * request it carries to directory\Tmp_cert.pem. */
int32_t VORLAN_API SavePublicKeyFromTransfer(VORLAN_HANDLE engine, const char* directory, const char* transfer);
/* GetMaxPublicKeyTransferSize: the longest transfer text, 16904 (-1 on error). */
int32_t VORLAN_API GetMaxPublicKeyTransferSize(VORLAN_HANDLE engine);
/* IncludePublicKeyTransfer: checks a transfer's signature and files the certificate it carries
 * under its UID, as IncludePublicKey does. */
int32_t VORLAN_API IncludePublicKeyTransfer(VORLAN_HANDLE engine, const char* transfer);
/* ExcludeSelfPublicKeyTransfer: the transfer of the current user's own certificate, signed by
 * the user, into transfer (GetMaxPublicKeyTransferSize + 1 bytes). */
int32_t VORLAN_API ExcludeSelfPublicKeyTransfer(VORLAN_HANDLE engine, char* transfer);
/* GetMaxFilePathLength: 255, for any handle. */
int32_t VORLAN_API GetMaxFilePathLength(VORLAN_HANDLE engine);
/* GetRemoteGenType: the kind of key renewal the engine does: 3, the step protocol (-1 on error). */
int32_t VORLAN_API GetRemoteGenType(VORLAN_HANDLE engine);
/* SaveSignedDataToFile: writes the data immediately followed by the signature to fileName. */
int32_t VORLAN_API SaveSignedDataToFile(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                                        const unsigned char* signature, int32_t signatureLength,
                                        const char* fileName);
/* GetPublicKeyTransferByFile: the transfer of the certificate or request in fileName, signed by
 * the current user, into transfer (GetMaxPublicKeyTransferSize + 1 bytes). */
int32_t VORLAN_API GetPublicKeyTransferByFile(VORLAN_HANDLE engine, char* transfer, const char* fileName);
/* GetMaxReportSize: buffer size for a report (-1 on error). */
int32_t VORLAN_API GetMaxReportSize(VORLAN_HANDLE engine);
/* GetReport: the report of the certificate filed under uid: key=value lines ended by CR LF
 * (GetMaxReportSize bytes). */
int32_t VORLAN_API GetReport(VORLAN_HANDLE engine, const char* uid, char* report);
/* GetMaxAdditionEx: bytes that encryption for these recipients may add (-1 on error). */
int32_t VORLAN_API GetMaxAdditionEx(VORLAN_HANDLE engine, const char* recipients);
/* GetUIDByPublicKeyTransfer: the owner UID carried by a transfer. */
int32_t VORLAN_API GetUIDByPublicKeyTransfer(VORLAN_HANDLE engine, const char* transfer, char* uid);
/* UpdateCertificateCash: tells the toolkit that the certificate file fileName changed; when the
 * toolkit cannot do that for one file, the whole cache is cleared and the result is 0. */
int32_t VORLAN_API UpdateCertificateCash(VORLAN_HANDLE engine, const char* fileName);
/* GetMaxPublicKeyPropertiesLength: the same value as GetMaxReportSize. */
int32_t VORLAN_API GetMaxPublicKeyPropertiesLength(VORLAN_HANDLE engine);
/* GetPublicKeyProperties: the same text as GetReport. */
int32_t VORLAN_API GetPublicKeyProperties(VORLAN_HANDLE engine, const char* uid, char* properties);
/* RemoteGenerateStartEx: one step of key renewal, *step read and advanced: 0 -> 2 -> 3 -> 5, the
 * host runs the key generation utility, 5 -> 2 (buffer "LAST STEP"), 2 -> 1 with the request
 * transfer in buffer (GetMaxPublicKeyTransferSize + 1 bytes); 10, 12, 13, 15 take the subject
 * from the parameters. name: the new certificate's name, or null for the library's choice. */
int32_t VORLAN_API RemoteGenerateStartEx(VORLAN_HANDLE engine, const char* name, char* buffer, int32_t* step);
/* RemoteGenerateFinishEx: with the issued certificate's transfer, 0 -> 2, then 2 -> 1: the
 * certificate is matched to the new keys, filed, and keys and own certificate are exchanged. */
int32_t VORLAN_API RemoteGenerateFinishEx(VORLAN_HANDLE engine, const char* transfer, int32_t* step);
/* GetPublicKeyPropertiesByTransfer: the report of the certificate or request a transfer carries. */
int32_t VORLAN_API GetPublicKeyPropertiesByTransfer(VORLAN_HANDLE engine, const char* transfer, char* properties);
/* GetPublicKeyPropertiesByFile: the report of the certificate or request in fileName. */
int32_t VORLAN_API GetPublicKeyPropertiesByFile(VORLAN_HANDLE engine, const char* fileName, char* properties);
/* IncludeCACertificateFromTransfer: checks a transfer's signature and files the CA certificate
 * it carries in the CA directory. */
int32_t VORLAN_API IncludeCACertificateFromTransfer(VORLAN_HANDLE engine, const char* transfer);
/* CreateDirStructure: lays out a new user's installation: the certificate and CA directories
 * made, the certificate copied to parameter 1 and filed, the CA files ("a.pem;b.pem") copied
 * in as ca1.pem, ca2.pem ... */
int32_t VORLAN_API CreateDirStructure(VORLAN_HANDLE engine, const char* certificateFile, const char* caFiles);
/* RemoveCertificate: removes the certificate filed under uid (never the user's own: -120). */
int32_t VORLAN_API RemoveCertificate(VORLAN_HANDLE engine, const char* uid);
/* VerifySignWOCheckValidity: as VerifyData, without the validity-time check. */
int32_t VORLAN_API VerifySignWOCheckValidity(VORLAN_HANDLE engine, const unsigned char* data, int32_t length,
                                             const unsigned char* signature, int32_t signatureLength,
                                             char* signer);
/* CertAndRequestTransferMatch: *match is -1 when the certificate of one transfer answers the
 * request of the other, 0 when not. */
int32_t VORLAN_API CertAndRequestTransferMatch(VORLAN_HANDLE engine, const char* certificateTransfer,
                                               const char* requestTransfer, int32_t* match);
/* IncludeCRL: moves a revocation list signed by a CA of the installation into the CRL
 * directory, in place of the list of the same issuer; an older list is refused. */
int32_t VORLAN_API IncludeCRL(VORLAN_HANDLE engine, const char* fileName);
/* ConvertTransferToSignedRequest, HashData, ShowCertificate, GetPureSign, GetUIDByCertIdent,
 * InstallCertsInMyStore: not provided (-1); arguments are not examined. */
int32_t VORLAN_API ConvertTransferToSignedRequest(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API HashData(VORLAN_HANDLE engine, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e);
int32_t VORLAN_API ShowCertificate(VORLAN_HANDLE engine, intptr_t a);
int32_t VORLAN_API GetPureSign(VORLAN_HANDLE engine, intptr_t a, intptr_t b, intptr_t c, intptr_t d, intptr_t e);
int32_t VORLAN_API GetUIDByCertIdent(VORLAN_HANDLE engine, intptr_t a, intptr_t b);
int32_t VORLAN_API InstallCertsInMyStore(VORLAN_HANDLE engine, intptr_t a);
/* RegisterOIDInfo: not provided (-1); the second text is converted from the ANSI code page. */
int32_t VORLAN_API RegisterOIDInfo(VORLAN_HANDLE engine, const char* first, const char* second);
/* GetParamInfo: the kind of parameter index (1 range, 2 and 4 text, 7 choice, 10 file,
 * 11 directory) and its hint ("0..2048", "RUS-GAMMAR\r\nDES-EDE3-CBC", "*.pem"); *length:
 * the hint buffer's size in, the hint's size with its NUL out (hint null: size only). */
int32_t VORLAN_API GetParamInfo(VORLAN_HANDLE engine, int32_t index, int32_t* kind, char* hint, int32_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VORLAN13_H */

// TMPro1CryptoEngine: the engine that carries out the operation table with the Message-PRO
// toolkit, reached only through its binding (TMProDLL), created on first use.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "binding/mpro_dll.h"
#include "engine/crypto_engine.h"
#include "platform/platform.h"

namespace vorlan {

// Result codes of the Message-PRO engines (texts in mpro1_errors.cpp).
enum EngineCode : std::int32_t {
    kOk = 0,
    kNotProvided = -1,
    kNotInitialized = -100,
    kBadArgument = -101,
    kException = -102,
    kStringLength = -103,
    kFileMismatchUID = -106,
    kIOError = -107,
    kRemotePathError = -109,
    kUIDError = -110,
    kPublicKeyNotFound = -111,
    kTransferError = -112,
    kCertificateNotFound = -113,
    kPendingFileMissing = -114,
    kRemoteDirIOError = -115,
    kKeyExchangeError = -116,
    kLowMemory = -117,
    kKeyGenNotFinished = -118,
    kCertificateKeyMismatch = -119,
    kSelfCertificate = -120,
    kTempSaveError = -121,
    kTempDirError = -122,
    kCRLDirError = -123,
    kCRLNotFound = -124,
    kCRLIncorrect = -125,
    kParamIndex = -126,
    kPluginNotLoaded = -127,
    kPluginIncomplete = -128,
    kRequestedUIDMismatch = -129,
    kForeignUIDFiled = -130,
    kRenewalInProgress = -132,
    kChangeNotRecovered = -133,
    kOlderCertificate = -135,       // started before the certificate filed under its UID
    kCertificateChanged = -136,     // subject or issuer differ from the one filed under its UID
    kTransferOwnerMismatch = -137,  // a transfer names another owner than its certificate's UID
    kOwnKeyMismatch = -138,         // the own certificate is not of the installation's key
    kUIDTooLong = -140,
};

struct TransferBlock;

class TMPro1CryptoEngine : public TCryptoEngine {
public:
    // TMPro1CryptoEngine: variant 0 ("mplug.dll") and the 25 parameter defaults.
    TMPro1CryptoEngine();
    ~TMPro1CryptoEngine() override;

    // ---- overridden operations of the table ----
    // GetEngineName: "Message-PRO 1.1" into a non-null buffer.
    void GetEngineName(char* buffer) override;
    // Size limits: the toolkit's values (0 when the plug-in is unusable); GetMaxUIDLength is kMaxUIDBytes.
    // GetMaxCryptoParamValueLength gives the base's 1024 when the plug-in is unusable, the
    // limit GetCryptoParamValue then writes by.
    std::int32_t GetMaxEncodeAddition() override;
    std::int32_t GetMaxSignatureLength() override;
    std::int32_t GetMaxUIDLength() override;
    std::int32_t GetMaxCryptoParamNameLength() override;
    std::int32_t GetMaxCryptoParamValueLength() override;
    // GetMaxErrorStringLength: the toolkit's value; 255 when the plug-in is unusable, so that
    // the texts of -127 and -128 still reach the caller.
    std::int32_t GetMaxErrorStringLength() override;
    std::int32_t GetMaxPasswordLength() override;
    // GetCryptoParamNumber: the toolkit's parameter count.
    std::int32_t GetCryptoParamNumber() override;
    // GetCryptoParamName: the toolkit's name of parameter index (from 1).
    void GetCryptoParamName(std::int32_t index, char* buffer) override;
    // SetCryptoParamValue: stores a value (path parameters get the root macro replaced).
    std::int32_t SetCryptoParamValue(std::int32_t index, const char* value) override;
    // GetEncodeUIDBySignUID: the encryption UID equals the signature UID; -140 when it does not fit (UIDFits).
    std::int32_t GetEncodeUIDBySignUID(const char* signUid, char* encodeUid) override;
    // GetCurrentUserUID: the current user's UID from the toolkit; -101 when it does not fit 40 bytes.
    std::int32_t GetCurrentUserUID(char* uid) override;
    // GetCryptoErrorString: the text of a result code (engine table, else binding or toolkit).
    void GetCryptoErrorString(std::int32_t code, char* buffer) override;
    // EncodeData: encrypts in place for the recipients (UIDs separated by ";", default parameter 19).
    std::int32_t EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) override;
    // DecodeData: decrypts in place data addressed to the current user; output must be non-null.
    std::int32_t DecodeData(unsigned char* buffer, std::int32_t* size, char* output) override;
    // SignData: detached signature of data by the signer UID (empty: the toolkit's current key).
    std::int32_t SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                          std::int32_t* signatureLength, const char* signer) override;
    // VerifyData: checks a detached signature and writes the signer's UID.
    std::int32_t VerifyData(const unsigned char* data, std::int32_t length, const unsigned char* signature,
                            std::int32_t signatureLength, char* signer) override;
    // IncludePublicKey: moves a certificate file into the certificate directory under its UID,
    // held to what FileCertificateByUID asks of a correspondent's.
    std::int32_t IncludePublicKey(const char* fileName) override;
    // ClearCash: drops the toolkit's cached contexts and the engine's remembered subjects.
    void ClearCash() override;
    // UpdateCertificateCash: makes sure the toolkit knows the certificate of a UID.
    std::int32_t UpdateCertificateCash(const char* uid) override;
    // RemoveCertificate: deletes UID.pem and UID.cer (never the own one).
    std::int32_t RemoveCertificate(const char* uid) override;
    // IncludeCRL: moves a CRL that the toolkit accepts into the CRL directory in place of the
    // list of the same issuer; a toolkit's refusal (no issuer, its own code) is the result.
    std::int32_t IncludeCRL(const char* fileName) override;
    // GetLastErrorMessage: the toolkit's last message into the buffer, or the engine's own
    // reason (SetLastReason) when the toolkit reported nothing after it.
    void GetLastErrorMessage(char* buffer) override;
    // AddSign: appends a signature to the data in the same buffer; size gets the toolkit's length.
    std::int32_t AddSign(unsigned char* buffer, std::int32_t* size, const char* signer) override;
    // RemoveSign: checks an attached signature, cuts it off and writes the signer's UID.
    std::int32_t RemoveSign(unsigned char* buffer, std::int32_t* size, char* signer) override;
    // GetMaxSignAddition: GetMaxSignatureLength + 332.
    std::int32_t GetMaxSignAddition() override;
    // GetMaxAdditionEx: as the base's, counting the default recipients (parameter 19) for a
    // null or empty text, as EncodeData then encrypts for them.
    std::int32_t GetMaxAdditionEx(const char* recipients) override;
    // GetParamInfo: kind and hint of a parameter; length is in/out (hint length + 1).
    std::int32_t GetParamInfo(std::int32_t index, std::int32_t* kind, char* hint, std::int32_t* length) override;
    // GenerateNewSSK / GenerateNewSEK: a new key and request where parameters 7 and 9 point, with the
    // subject of parameters 11 to 17; the toolkit's success comes back as -100.
    std::int32_t GenerateNewSSK() override;
    std::int32_t GenerateNewSEK() override;
    // TransPrivateKeyFromFileToTM / TransSignatureFromFileToTM: no token here; 0.
    std::int32_t TransPrivateKeyFromFileToTM() override;
    std::int32_t TransSignatureFromFileToTM() override;
    // RemoteGenerateStart: a new key and request in the remote generate directory; the request
    // transfer into the buffer (GetMaxPublicKeyTransferSize + 1 bytes).
    std::int32_t RemoteGenerateStart(char* transfer) override;
    // RemoteGenerateStartEx: RemoteGenerateStartExBody.
    std::int32_t RemoteGenerateStartEx(const char* name, char* buffer, std::int32_t* step) override;
    // RemoteGenerateFinish: installs the issued certificate of the transfer and the pending key;
    // on failure the old installation and the pending files stay, so the finish can be repeated.
    std::int32_t RemoteGenerateFinish(const char* transfer) override;
    // RemoteGenerateFinishEx: step := 1, then RemoteGenerateFinish.
    std::int32_t RemoteGenerateFinishEx(const char* transfer, std::int32_t* step) override;

    // Public key transfers (mpro1_transfers.cpp). A transfer buffer holds
    // GetMaxPublicKeyTransferSize (16904) characters and a zero.
    std::int32_t GetMaxPublicKeyTransferSize() override;
    // GetPublicKeyTransfer: the transfer of the certificate filed under uid.
    std::int32_t GetPublicKeyTransfer(const char* uid, char* transfer) override;
    // ExcludeSelfPublicKeyTransfer: the transfer of the current user's own certificate.
    std::int32_t ExcludeSelfPublicKeyTransfer(char* transfer) override;
    // IncludePublicKeyTransfer: files the certificate of a transfer under its UID, keeping a
    // backup, held to what FileCertificateByUID asks of a correspondent's; -110 for an owner
    // that is no UID.
    std::int32_t IncludePublicKeyTransfer(const char* transfer) override;
    // SavePublicKeyFromTransfer: writes the block of a transfer to directory\Tmp_cert.pem.
    std::int32_t SavePublicKeyFromTransfer(const char* directory, const char* transfer) override;

    // Certificate properties and CA certificates (mpro1_properties.cpp).
    // GetPublicKeyTransferByFile: a transfer of a certificate or request file.
    std::int32_t GetPublicKeyTransferByFile(char* transfer, const char* fileName) override;
    // IncludeCACertificateFromTransfer: files a transfer's certificate in the CA directory when
    // the toolkit accepts it as a CA certificate (FileCACertificate); -107 without a CA directory.
    std::int32_t IncludeCACertificateFromTransfer(const char* transfer) override;
    // IncludePublicEncodeKey: IncludePublicKey of the file (root macro expanded).
    std::int32_t IncludePublicEncodeKey(const char* fileName) override;
    // GetUIDByPublicKeyTransfer: the owner UID of a transfer into a buffer of GetMaxUIDLength
    // bytes; -110 for an owner that does not fit or is no safe UID, -137 for a certificate
    // whose UID is not the owner.
    std::int32_t GetUIDByPublicKeyTransfer(const char* transfer, char* uid) override;

    // Reports (mpro1_reports.cpp); a report buffer holds GetMaxReportSize bytes.
    // GetMaxReportSize: the toolkit's GetMaxCertInfoLength + 256; -1 when it cannot be asked.
    std::int32_t GetMaxReportSize() override;
    // GetReport: the report of uid's certificate; of the pending request when uid is empty.
    std::int32_t GetReport(const char* uid, char* report) override;
    std::int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) override;
    std::int32_t GetPublicKeyPropertiesByFile(const char* fileName, char* report) override;

    // Directory structure (mpro1_dir_structure.cpp).
    // CreateDirStructure: key, CA and certificate directories with the own and CA certificates.
    std::int32_t CreateDirStructure(const char* certificateFile, const char* caFiles) override;
    // CertAndRequestTransferMatch: match -1 when the certificate was issued for the request, else 0.
    std::int32_t CertAndRequestTransferMatch(const char* certificateTransfer, const char* requestTransfer,
                                             std::int32_t* match) override;

    // ---- appended operations (slots 82, 83) ----
    // InternalRemoteGenerateStart: new key and request for uid (the subject of the own certificate
    // unless keepSubject); parameters 7, 9, 11 to 17 are back at their values on every way out.
    virtual std::int32_t InternalRemoteGenerateStart(char* transfer, const char* uid, bool keepSubject);
    // RemoteGenerateStartExBody: start by step indicator (above 9: keep the subject; 0 or 10 without
    // a current UID: +2 and success); the new UID is name, else the current one with a new date stamp.
    virtual std::int32_t RemoteGenerateStartExBody(const char* name, char* transfer, std::int32_t* step);

    // ---- helpers shared by the operations ----
    // SetLastReason: why the calling thread's last operation was refused (or what it did
    // besides), for GetLastErrorMessage; it gives way to the toolkit's next message.
    void SetLastReason(const std::string& reason);
    // GetCryptoAPI: the engine's binding, created once; -127 / -128 when the plug-in is unusable,
    // -102 when creating it raised; 0 with a null binding after such a failure.
    std::int32_t GetCryptoAPI(TMProDLL*& api);
    // RequireCryptoAPI: GetCryptoAPI, with "0 and no binding" turned into -100.
    std::int32_t RequireCryptoAPI(TMProDLL*& api);
    // Bound: the binding that GetCryptoAPI gave; raises ECryptoEngineError "Library not
    // initialized" when it gave none (its creation failed), which an operation turns into -102.
    static TMProDLL& Bound(TMProDLL* api);
    // BuildParamVector: the current values of the toolkit's parameters; throws when the toolkit
    // reports more parameters than the engine holds.
    ParamVector BuildParamVector(TMProDLL& api) const;
    // ParamValue: stored value of parameter index (from 1), empty when missing.
    std::string ParamValue(std::int32_t index) const;
    // UIDField: parameter 20 trimmed, "CN" when empty.
    std::string UIDField() const;
    // UIDFromSubject: the UID field's value of a subject line (the whole line for "SN").
    std::string UIDFromSubject(const std::string& subject) const;
    // CopyUID: copies a UID with its terminator into a caller buffer of GetMaxUIDLength bytes:
    // 0; -101 for no buffer, -140 for a UID that does not fit (UIDFits), nothing written.
    std::int32_t CopyUID(const std::string& uid, char* buffer);
    // UIDWorkBuffer: a zeroed buffer of the toolkit's GetMaxUIDLength bytes plus a terminator.
    static std::vector<char> UIDWorkBuffer(TMProDLL& api);
    // TextUpToZero: the text of a work buffer up to its first zero byte.
    static std::string TextUpToZero(const std::vector<char>& buffer);
    // RecipientText: the caller's recipients when not null or empty, else parameter 19 trimmed.
    std::string RecipientText(const char* recipients) const;
    // CertificateDir: parameter 2 trimmed, with a trailing backslash.
    std::string CertificateDir() const;
    // FindCertificateFile: directory + uid + ".pem", else ".cer"; empty when neither exists.
    // stamp, when given, receives the stamp of the file found (one status query per name).
    std::string FindCertificateFile(const std::string& uid, platform::FileStamp* stamp = nullptr) const;
    // GetCertSubjectByFile: subject line of a certificate file, read by a temporary binding.
    std::int32_t GetCertSubjectByFile(const std::string& file, const std::string& field, std::string& subject);
    // GetCertUIDByFile: the field's value of that subject (the whole subject for "SN").
    std::int32_t GetCertUIDByFile(const std::string& file, const std::string& field, std::string& uid);
    // CertSubjectOfFiled: GetCertSubjectByFile for a file of the certificate directory (of the
    // stamp given), remembered while the file keeps that stamp; a file changed within the last
    // two seconds may change again unseen and is asked about every time.
    std::int32_t CertSubjectOfFiled(const std::string& file, const platform::FileStamp& stamp, const std::string& field,
                                    std::string& subject);
    // ForgetSubjects: drops the remembered subjects (the certificate directory changed).
    void ForgetSubjects();
    // ReadSubjectFromCert: subject line of the certificate filed under uid (checked against it).
    std::int32_t ReadSubjectFromCert(const std::string& uid, std::string& subject);
    // InternalIncludePublicKey: files a certificate under its UID in targetDir, keeping backups;
    // with refuseOwnUID (a correspondent's certificate) held to what Correspondent says.
    std::int32_t InternalIncludePublicKey(const std::string& targetDir, const std::string& source, bool move,
                                          bool refuseOwnUID = false);
    // OwnCertificate: the current user's UID and own certificate bytes; an empty uid when there
    // is no own certificate. Read before a filing takes the StoreLock: GetCurrentUserUID takes
    // the PSELock in the PSE variant.
    struct OwnCertificate {
        std::string uid, content;
    };
    std::int32_t ReadOwnCertificate(OwnCertificate& own);
    // Correspondent: what a correspondent's certificate is held to before it is filed. owner:
    // the owner a transfer names (null for a file).
    struct Correspondent {
        OwnCertificate own;
        const std::string* owner = nullptr;
    };
    // FileCertificateByUID: the filing part of InternalIncludePublicKey: reads the UID of source
    // (into uid) and files it, complete or not at all, under StoreLock. With a correspondent,
    // before anything is written: -137 when the owner is not the UID; -120 when the UID is the
    // current user's (compared as file names match) and source is not the own certificate
    // itself; the toolkit's -1030..-1033 unless an installed CA issued it, valid now and not
    // revoked; then, under the StoreLock, against the certificate filed under the UID: -136 for
    // another subject (beyond the UID field) or issuer, -135 for an earlier start of validity.
    std::int32_t FileCertificateByUID(const std::string& targetDir, const std::string& source, bool move,
                                      std::string& uid, const Correspondent* correspondent = nullptr);
    // CertificateMark: what a certificate that replaces a filed one must keep (its subject
    // line without the UID field, its issuer) and not go back on (its start of validity,
    // sortable; empty when unknown).
    struct CertificateMark {
        std::string subject, issuer, start;
    };
    std::int32_t MarkOfCertificate(const std::string& file, CertificateMark& mark);
    // CheckSuccession_locked: 0, -136 or -135 for a certificate of uid with the mark given
    // against the one filed under uid in dir (none, or one the toolkit cannot read: 0).
    // Caller holds StoreLock.
    std::int32_t CheckSuccession_locked(const std::string& dir, const std::string& uid, const CertificateMark& mark);
    // CertificateReport: the report text of a certificate block (the toolkit's structured
    // information, else its dump converted); the toolkit's code when it is no certificate.
    std::int32_t CertificateReport(TMProDLL& api, std::string_view block, std::string& report);
    // UpdateCertCashByFile: hands a certificate file to the toolkit's cache.
    std::int32_t UpdateCertCashByFile(const std::string& file);
    // CheckRenewedCertificate: what a finish of key renewal asks of the certificate it would
    // install, before anything changes (caller holds the StoreLock): the toolkit's trust in
    // it (CertificateTrust's codes), its UID (into uid) fitting a UID (-131) and the one the
    // request file asked for (-129; not checked with the UID field "SN", whose serial the CA
    // gives), usable as a file name (-110), and naming no certificate of another user in the
    // certificate directory (-130; the own certificate and its ".old" copy are the user's).
    // GetLastErrorMessage says why.
    std::int32_t CheckRenewedCertificate(const std::string& certificate, const std::string& request, std::string& uid);
    // CertificateTrust: the toolkit's word on a certificate file: 0 when a CA of the
    // installation issued it, it is valid now and not revoked by an installed CRL; otherwise
    // the toolkit's code (-1030 expired, -1031 not yet valid, -1032 revoked, -1033 not issued
    // by an installed CA) with the reason in its last error message.
    std::int32_t CertificateTrust(const std::string& file);
    // GetCADir / GetCRLDir: the CA and CRL directories, ending in a backslash; empty when
    // neither their parameter nor the key directory (parameter 3) is set.
    std::string GetCADir();
    std::string GetCRLDir();
    // EmptyRemoteGenerateDir: deletes everything in the remote generate directory, keeping it;
    // false when it is not set, missing, or something stayed.
    bool EmptyRemoteGenerateDir();
    // PrepareRemoteGenerateDir: empties it and copies the own certificate and the key base's CA and
    // Keys trees into it; false on any failure.
    bool PrepareRemoteGenerateDir();

    // CertificateOfUID: the certificate filed under uid as the toolkit holds it
    // (GetCertificateByUID of its checked subject line); api is the binding used.
    std::int32_t CertificateOfUID(const std::string& uid, TMProDLL*& api, std::string& certificate);
    // BuildPublicKeyTransfer: signs the record of owner and block as the current user and writes
    // its base64 text and a zero into transfer. -110 for an owner of 256 characters or more,
    // -101 for a block above 8192 bytes; signing codes unchanged. Raises when the text cannot
    // be made or exceeds 16904 characters (callers run it inside Guarded).
    std::int32_t BuildPublicKeyTransfer(const std::string& owner, std::string_view block, char* transfer);
    // GetPublicKeyBlockByTransfer: decodes a transfer, checks and removes its signature and
    // unpacks the body. -101 empty, too long or not base64; -112 a malformed body.
    std::int32_t GetPublicKeyBlockByTransfer(const char* transfer, TransferBlock& out);
    // SaveTransferToFile: writes the block of a transfer to directory + fileName (-107 on failure).
    std::int32_t SaveTransferToFile(const std::string& directory, const char* transfer, const std::string& fileName);
    // GetReportByBuffer: the report of a toolkit text dump into report (may be the dump's own
    // memory), bounded by GetMaxReportSize: -101 when it does not fit, -102 for a bad date.
    std::int32_t GetReportByBuffer(const char* dump, char* report);
    // Where a CA certificate comes from: the administrator's files of CreateDirStructure, named
    // "ca" + N; a transfer, named "ca.pem", then "ca" + five digits, filed only when the
    // toolkit accepts it (IncludePublicKey: a CA certificate that an installed one verifies).
    enum class CASource { DirStructure, Transfer };
    // FileCACertificate: files a CA certificate in caDir under the next free name, under the
    // StoreLock: staged beside, then put in place by one rename that never replaces a file.
    // 0; -107 when it cannot be written or its name is taken; the toolkit's code when it
    // refuses the certificate (nothing stays behind). The one place where CA certificates are
    // filed; raises only what BuildParamVector raises (callers run it inside Guarded).
    std::int32_t FileCACertificate(const std::string& caDir, std::string_view certificate, CASource source);

    // Guarded: runs body, turning an escaping exception into -102 with the text
    // prefix + class name + ": " + message stored in ExceptStr.
    template <class Body>
    std::int32_t Guarded(const char* prefix, Body&& body) {
        try {
            return body();
        } catch (const std::exception& e) {
            return StoreException(prefix, e);
        } catch (...) {
            return StoreUnknownException(prefix);
        }
    }
    std::int32_t StoreException(const char* prefix, const std::exception& e);
    std::int32_t StoreUnknownException(const char* prefix);

    // ---- fields ----
    std::unique_ptr<TMProDLL> Binding;
    std::atomic<bool> BindingFailed{false};
    std::int32_t PluginVariant = 0;

private:
    std::atomic<TMProDLL*> binding_{nullptr};  // published once Binding is set
    std::mutex bindingMutex_;                  // guards the first creation of Binding
    std::int32_t CreateBinding_locked(TMProDLL*& api);  // caller holds bindingMutex_
    std::int32_t BindingState(TMProDLL* api) const;
    // ToolkitSize: one of the toolkit's size queries; 0 when the plug-in is unusable.
    std::int32_t ToolkitSize(mpro::FnGetMax ToolkitFunctions::*query, std::int32_t unusable = 0);
    // ReportOfBlock: the report of a certificate or request (structured, else from the dump).
    std::int32_t ReportOfBlock(TMProDLL& api, std::string_view block, char* report);
    // CertificateDump: the toolkit's text dump of a certificate block, zero-terminated.
    std::int32_t CertificateDump(TMProDLL& api, const ParamVector& vector, std::string_view block, std::string& dump);
    // CheckOwnKey: 0 when the installation's private key (the key file of parameter 7, else the
    // key container of the key directory) is the one of the certificate file; else -138.
    std::int32_t CheckOwnKey(const std::string& certificate);

    struct RememberedSubject {
        std::string subject;
        platform::FileStamp stamp;
    };
    std::mutex subjectsMutex_;                              // guards subjects_
    std::map<std::string, RememberedSubject> subjects_;     // key: file + NUL + field
};

}  // namespace vorlan

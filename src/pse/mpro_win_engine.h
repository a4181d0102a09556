// TMProWinCryptoEngine: the engine the library hands out. Binds to "mplugf.dll", keeps the
// user's keys in a PSE and runs key, certificate and cryptographic work under the PSELock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/mpro1_engine.h"
#include "platform/file_lock.h"
#include "support/file_change.h"

namespace vorlan {

// TSubjectFields: the subject fields of a new certificate request.
struct TSubjectFields {
    std::string CN, C, S, L, O, OU, E, T;
};

class TMProWinCryptoEngine : public TMPro1CryptoEngine {
public:
    // TMProWinCryptoEngine: variant 1 and a 26th parameter (the CRL directory), empty.
    TMProWinCryptoEngine();
    // ~TMProWinCryptoEngine: ends the renewal hold if a remote generation left it held (from
    // any thread).
    ~TMProWinCryptoEngine() override;

    // SetCryptoParamValue: as the base; a new key directory (3) is looked at again for a
    // change that a dead process left.
    std::int32_t SetCryptoParamValue(std::int32_t index, const char* value) override;
    // GetEngineName: "M-Pro v1.34 (GOST PSE)" into a non-null buffer.
    void GetEngineName(char* buffer) override;

    // The inherited operations below run while this thread holds the PSELock shared; those
    // after GetCurrentUserUID also wait while another engine holds the renewal. The first
    // of them on an installation completes or takes back a change that a dead process left.
    std::int32_t GetCurrentUserUID(char* uid) override;
    std::int32_t EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) override;
    std::int32_t DecodeData(unsigned char* buffer, std::int32_t* size, char* output) override;
    std::int32_t SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                          std::int32_t* signatureLength, const char* signer) override;
    std::int32_t VerifyData(const unsigned char* data, std::int32_t length, const unsigned char* signature,
                            std::int32_t signatureLength, char* signer) override;
    void ClearCash() override;  // like GetCurrentUserUID, never waits for a renewal
    std::int32_t RemoveCertificate(const char* uid) override;
    std::int32_t IncludeCRL(const char* fileName) override;
    std::int32_t IncludeCACertificateFromTransfer(const char* transfer) override;
    std::int32_t GetReport(const char* uid, char* report) override;
    std::int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) override;
    std::int32_t GetPublicKeyPropertiesByFile(const char* fileName, char* report) override;

    // GenerateNewSEK: a certificate request for the PSE's keys (parameter 3) into the request
    // file (parameter 9), subject from parameters 11 to 17 and 24. GenerateNewSSK: the same.
    std::int32_t GenerateNewSEK() override;
    std::int32_t GenerateNewSSK() override;
    // RemoteGenerateStartEx: one call of the step protocol of key renewal; *step is advanced.
    // -132 at once while another engine's renewal of the process, or another renewal of the
    // PSE, is between its steps, or while another thread runs a step of this engine.
    std::int32_t RemoteGenerateStartEx(const char* name, char* buffer, std::int32_t* step) override;
    // RemoteGenerateFinishEx: step 0 only moves to 2; any other step installs the new
    // certificate and keys from the transfer and ends at 1 (-132 as for the start).
    std::int32_t RemoteGenerateFinishEx(const char* transfer, std::int32_t* step) override;

    // RemoteGenerateStart / RemoteGenerateFinish: not offered by the PSE engine (-1).
    std::int32_t RemoteGenerateStart(char* transfer) override;
    std::int32_t RemoteGenerateFinish(const char* transfer) override;
    // GetRemoteGenType: 3, the step protocol with a key generation utility.
    std::int32_t GetRemoteGenType() override;
    // VerifySignWOCheckValidity: VerifyData without the check of the signer's validity period.
    std::int32_t VerifySignWOCheckValidity(const unsigned char* data, std::int32_t length,
                                           const unsigned char* signature, std::int32_t signatureLength,
                                           char* signer) override;

    // ---- appended operations (slots 84 to 90): the key-set steps of remote generation ----
    // RG_EncryptKeySet: packs the remote generation key set into ".dat" files for uid.
    virtual std::int32_t RG_EncryptKeySet(const char* uid);
    // RG_CopyKeySet: copies the key set of a PSE directory into the remote generation directory.
    virtual bool RG_CopyKeySet(const char* sourceDir);
    // RG_DeleteKeySet: deletes the plain key set of the remote generation directory.
    virtual void RG_DeleteKeySet();
    // RG_DecryptKeySet: restores the plain key set from its ".dat" files.
    virtual std::int32_t RG_DecryptKeySet();
    // DecryptKeySet: the key set packed in directory dir, restored below target.
    std::int32_t DecryptKeySet(const std::string& dir, const std::string& target);
    // RG_NextSignKeyArchiveName: next free archive name of the signature secret key.
    virtual void RG_NextSignKeyArchiveName(const char* pseDir, std::string& archiveName);
    // RG_ExchangeKeys: puts the new key set and certificate in place of the PSE's own.
    virtual bool RG_ExchangeKeys(const char* pseDir, const char* newKeyDir, const char* ownCertificate,
                                 const char* newCertificate);
    // RG_PSEPrivateKeyBackup: asks the toolkit to back up the PSE private key.
    virtual std::int32_t RG_PSEPrivateKeyBackup(const char* backupDir, char* backupText);

    // ---- key renewal helpers ----
    // RemoteDir: the remote generation directory, root macro replaced, ending in a backslash.
    std::string RemoteDir() const;
    // GetSubjectFromParams: CN 16, C 11, S 12, L 13, O 14, OU 15, E 17, T 24 (when the toolkit has it).
    TSubjectFields GetSubjectFromParams();
    // EncryptFileToDat: packs a key file (at most 8192 bytes) for uid into its ".dat" twin.
    std::int32_t EncryptFileToDat(const std::string& file, const char* uid);
    // DecryptDatToFile: unpacks a ".dat" file (at most 8192 bytes) into target.
    std::int32_t DecryptDatToFile(const std::string& datFile, const std::string& target);
    // GetPSEBackupDir: parameter 23 as a directory, "A:\" when empty or unknown to the toolkit.
    std::string GetPSEBackupDir();
    // GetCertParameters: the subject fields of a certificate file.
    std::int32_t GetCertParameters(const std::string& file, TSubjectFields& fields);
    // RemoteGenerateEXStep_1: checks that the subscriber name fits a UID, takes the renewal
    // hold, moves a pending renewal aside, empties R, copies the own certificate to
    // "self.pem", test-signs.
    std::int32_t RemoteGenerateEXStep_1(const char* name);
    // SubscriberName: the name of the new request (the given one, else the UID of the
    // certificate file, stamped unless the UID field is "SN"); -110 when it becomes a UID
    // that does not fit.
    std::int32_t SubscriberName(const char* name, const std::string& certificate, std::string& subscriber);
    // SetPendingRenewalAside: a renewal of R that waits for its certificate (its packed key
    // set) moves, whole, to R\pending.NNN; finishes look there too. Then R is emptied but
    // for those. False when something stays in R.
    bool SetPendingRenewalAside(const std::string& R);
    // RemoteGenerateEXStep_2: writes the backup text of the current key container to "backup.key".
    std::int32_t RemoteGenerateEXStep_2();
    // InternalRemoteGenerateStart_WithUtility: the subscriber name, then RemoteGenerateEXStep_3.
    std::int32_t InternalRemoteGenerateStart_WithUtility(char* marker, const char* name, bool subjectFromParams);
    // RemoteGenerateEXStep_3: checks that a new key container exists, requests a certificate for
    // it into "Tmp_cert.pem", copies its key set to R and marks the marker "LAST STEP".
    std::int32_t RemoteGenerateEXStep_3(char* marker, const std::string& name, bool subjectFromParams);
    // RemoteGenerateEXStep_4: packs the new key set and puts the request transfer into marker.
    std::int32_t RemoteGenerateEXStep_4(char* marker);
    // InternalRemoteGenerateFinish: installs the certificate of the transfer with the new keys;
    // all or nothing: a failure after the keys matched leaves the PSE with its old keys.
    std::int32_t InternalRemoteGenerateFinish(const char* transfer);
    // RemoteDirUsable: R is set and is a directory.
    bool RemoteDirUsable() const;
    // BackupTextBuffer: a zeroed buffer for a backup text (GetMaxCryptoParamValueLength bytes and a zero).
    std::vector<char> BackupTextBuffer();
    // HoldPSELock / ReleasePSELock: the renewal hold across calls (taken once): the PSE's
    // renewal lock file between processes and the hold within the process; -132 when another
    // renewal has either, -107 when the lock file cannot be made. Released from any thread.
    std::int32_t HoldPSELock();
    void ReleasePSELock();
    // PSEDir: parameter 3 as a directory (ending in a backslash).
    std::string PSEDir() const;
    // ChangeDirs: the directories a recorded change of this engine's installation may touch.
    std::vector<std::string> ChangeDirs() const;
    // RecoverInstallation: completes or takes back a change of the PSE that a dead process
    // left (once per engine and key directory; always when forced); -133 when it cannot.
    std::int32_t RecoverInstallation(bool force);
    // MatchPendingKeySet: the pending key set (of PendingKeySets) that the certificate file
    // belongs to, its directory into dir, the set unpacked in K; the toolkit has installed
    // its signature key in the staging copy S of the PSE and names, in oldKey, the file that
    // holds the old one. -119 when none matches.
    std::int32_t MatchPendingKeySet(const std::vector<std::string>& pending, const std::string& S,
                                    const std::string& K, const std::string& certificate, std::string& dir,
                                    std::string& oldKey);
    // InstallRenewedKeys: the switch of the finish (under the exclusive PSELock and the
    // StoreLock): the certificate checked (CheckRenewedCertificate against the request in
    // dir), then, as the begun change: the signature key that the toolkit installed in the
    // staging copy S (the old one archived), the certificate filed under its UID, the key
    // database and own certificate exchanged for those of the key set unpacked in K, R emptied.
    std::int32_t InstallRenewedKeys(FileChange& change, const std::string& dir, const std::string& S,
                                    const std::string& K, const std::string& certificate, const std::string& oldKey);
    // MakePSERequest: the binding's MakeRequest with the fields of a subject and the engine's
    // vector (its signature algorithm and key size make the keys of a new container).
    static std::int32_t MakePSERequest(TMProDLL& api, const ParamVector& vector, const std::string& ownCertificate,
                                       const std::string& keyDir, const TSubjectFields& fields,
                                       const std::string& requestFile, const std::string& flag);

    // Set while this engine holds the renewal between remote generation steps.
    bool HoldsPSELock = false;

private:
    platform::FileLock renewalLock_;  // the PSE's renewal lock file while HoldsPSELock
    std::mutex stepMutex_;            // one step of the protocol at a time
    std::atomic<bool> installationChecked_{false};  // the key directory was looked at for a dead change
};

}  // namespace vorlan

// TMProWinCryptoEngine: the engine the library hands out. Binds to "mplugf.dll", keeps the
// user's keys in a PSE and runs key, certificate and cryptographic work under the PSELock.
#pragma once

#include <cstdint>
#include <string>

#include "engine/mpro1_engine.h"

namespace vorlan {

class TMProWinCryptoEngine : public TMPro1CryptoEngine {
public:
    // TMProWinCryptoEngine: variant 1 and a 26th parameter (the CRL directory), empty.
    TMProWinCryptoEngine();
    // ~TMProWinCryptoEngine: releases the PSELock if a remote generation left it held.
    ~TMProWinCryptoEngine() override;

    // GetEngineName: "M-Pro v1.34 (GOST PSE)" into a non-null buffer.
    void GetEngineName(char* buffer) override;

    // The inherited operations below run while this thread holds the PSELock shared.
    std::int32_t GetCurrentUserUID(char* uid) override;
    std::int32_t EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) override;
    std::int32_t DecodeData(unsigned char* buffer, std::int32_t* size, char* output) override;
    std::int32_t SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                          std::int32_t* signatureLength, const char* signer) override;
    std::int32_t VerifyData(const unsigned char* data, std::int32_t length, const unsigned char* signature,
                            std::int32_t signatureLength, char* signer) override;
    void ClearCash() override;
    std::int32_t RemoveCertificate(const char* uid) override;
    std::int32_t IncludeCRL(const char* fileName) override;
    std::int32_t IncludeCACertificateFromTransfer(const char* transfer) override;
    std::int32_t GetReport(const char* uid, char* report) override;
    std::int32_t GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) override;
    std::int32_t GetPublicKeyPropertiesByFile(const char* fileName, char* report) override;

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
    // Until key renewal fills them they report "not provided" (-1, false, nothing done).
    // RG_EncryptKeySet: packs the remote generation key set into ".dat" files for uid.
    virtual std::int32_t RG_EncryptKeySet(const char* uid);
    // RG_CopyKeySet: copies the key set of a PSE directory into the remote generation directory.
    virtual bool RG_CopyKeySet(const char* sourceDir);
    // RG_DeleteKeySet: deletes the plain key set of the remote generation directory.
    virtual void RG_DeleteKeySet();
    // RG_DecryptKeySet: restores the plain key set from its ".dat" files.
    virtual std::int32_t RG_DecryptKeySet();
    // RG_NextSignKeyArchiveName: next free archive name of the signature secret key.
    virtual void RG_NextSignKeyArchiveName(const char* pseDir, std::string& archiveName);
    // RG_ExchangeKeys: puts the new key set and certificate in place of the PSE's own.
    virtual bool RG_ExchangeKeys(const char* pseDir, const char* newKeyDir, const char* ownCertificate,
                                 const char* newCertificate);
    // RG_PSEPrivateKeyBackup: asks the toolkit to back up the PSE private key.
    virtual std::int32_t RG_PSEPrivateKeyBackup(const char* backupDir, char* backupText);

    // Set while this engine holds the PSELock exclusively between remote generation steps.
    bool HoldsPSELock = false;
};

}  // namespace vorlan

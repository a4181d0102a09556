// A toolkit context: the parameter values, the own certificate and key, the known
// certificates (loaded, own, certificate directory) and the way to the trust store of its
// CA and CRL directories (shared by contexts). Contexts live in a table under 32-bit ids.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "errors.h"
#include "object_cache.h"
#include "ossl.h"
#include "trust_store.h"

namespace vtk {

class Context {
public:
    Context();

    // SetParam / Param: a parameter value by zero-based number; SetParam throws
    // kErrParamIndex for numbers out of range.
    void SetParam(int index, const std::string& value);
    std::string Param(int index) const;
    // PathParam: a parameter naming a file or directory, resolved on disk ("" if empty).
    std::string PathParam(int index) const;
    // UseSerial: whether the UID field is "SN" (certificates named by serial number).
    bool UseSerial() const;
    // CaDir / CrlDir: the configured directories, or KEYDIR/CA and KEYDIR/CRL.
    std::string CaDir() const;
    std::string CrlDir() const;

    // Renew: forgets what was loaded; the own certificate and key are read again at their
    // next use (every use checks their files once).
    void Renew();
    // OwnCertificate / OwnKey: the context's own certificate and private key as the
    // files hold them now. OwnCertificate throws kErrOwnCertificate when no file is set, and
    // for the file it names (the own one or, when the engine reads a correspondent's file,
    // that one) kErrFile when it cannot be read, kErrCertificateFormat when it is no
    // certificate; OwnKey throws kErrPrivateKey. OwnKey hands the own certificate it chose the
    // key by to cert when given (null when there is none; one look at each file per call).
    SharedCert OwnCertificate();
    SharedKey OwnKey(SharedCert* cert = nullptr);
    // FindCertificate: a known certificate by subject line (or serial with SN): the one the
    // engine files under the UID (UID.pem, else UID.cer), else the one in use; nullptr.
    SharedCert FindCertificate(const std::string& uid);
    // AddCertificate: makes a certificate known to this context (found before others).
    void AddCertificate(SharedCert cert);
    // Trust: the shared store of the context's CA certificates and CRLs as the files are
    // now, with or without time checks.
    SharedTrustStore Trust(bool checkTime);

    // KeepTexts: texts handed out inside a record until ReleaseTexts(record).
    void KeepTexts(const void* record, std::vector<std::unique_ptr<char[]>> texts);
    void ReleaseTexts(const void* record);

private:
    // The *_locked functions expect the caller to hold mutex_.
    std::string ParamPath_locked(int index) const;
    // ParamName_locked: a path parameter trimmed and with the root macro replaced, not
    // looked up on disk ("" if empty).
    std::string ParamName_locked(int index) const;
    // DirName_locked: the directory parameter, else the key directory's sub-directory sub.
    std::string DirName_locked(int index, const char* sub) const;
    // LoadOwnCertificate_locked / LoadOwnKey_locked: the own certificate / key as the
    // files are now (through the parse cache), or the reason there is none.
    void LoadOwnCertificate_locked();
    void LoadOwnKey_locked();
    // UidField_locked: the UID field in upper case ("CN" when empty).
    std::string UidField_locked() const;
    // TakeRenewedKey_locked: variant 0 keeps renewed keys in KEYDIR\KEYS; when the key loaded
    // does not belong to the own certificate, the one there that does is taken instead.
    void TakeRenewedKey_locked();
    void ScanCertificateDir_locked();

    mutable std::mutex mutex_;
    std::vector<std::string> params_;
    SharedCert ownCert_;
    SharedKey ownKey_;
    std::string ownCertError_, ownKeyError_;
    SharedCert matchedCert_;  // the last pair of own certificate and key found to belong together
    SharedKey matchedKey_;
    Code ownCertCode_ = kErrOwnCertificate;
    std::vector<SharedCert> added_;
    bool dirScanned_ = false;
    std::vector<SharedCert> dirCerts_;
    std::map<const void*, std::vector<std::unique_ptr<char[]>>> texts_;
};

// SetRoot / ExpandRoot: the installation root, replacing a leading "%ZELRoot%" in paths.
void SetRoot(const std::string& root);
std::string ExpandRoot(const std::string& path);

// The process-wide table of contexts.
namespace contexts {
// Open: a new context's id (never 0).
std::int32_t Open();
// Get: the context of an id; throws kErrContext for an unknown id.
std::shared_ptr<Context> Get(std::int32_t id);
// Close: releases a context; false for an unknown id.
bool Close(std::int32_t id);
}  // namespace contexts

}  // namespace vtk

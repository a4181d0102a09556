// New keys and certificate requests, key container requests and backups, and the
// comparisons of certificates with requests, keys and containers.
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cctype>

#include "algorithms.h"
#include "errors.h"
#include "file_io.h"
#include "keys.h"
#include "object_cache.h"
#include "size_limits.h"
#include "operations.h"
#include "params.h"
#include "pse_container.h"
#include "subject.h"

namespace vtk {

namespace {

NameFields FieldsFromParams(const Context& ctx) {
    NameFields f;
    f.C = ctx.Param(kCountry);
    f.S = ctx.Param(kState);
    f.L = ctx.Param(kLocality);
    f.O = ctx.Param(kOrganization);
    f.OU = ctx.Param(kUnit);
    f.CN = ctx.Param(kCommonName);
    f.E = ctx.Param(kEmail);
    if (TitleParam() >= 0) f.T = ctx.Param(TitleParam());
    return f;
}

std::string RequestPem(EVP_PKEY* key, const NameFields& fields, const EVP_MD* md) {
    X509ReqPtr req(X509_REQ_new());
    X509NamePtr name = BuildName(fields);
    if (!req || X509_REQ_set_version(req.get(), 0) != 1 || X509_REQ_set_subject_name(req.get(), name.get()) != 1 ||
        X509_REQ_set_pubkey(req.get(), key) != 1)
        Fail(kErrRequest, "Request cannot be built");
    if (X509_REQ_sign(req.get(), key, md) <= 0) Fail(kErrRequest, "Request cannot be signed");
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (PEM_write_bio_X509_REQ(bio.get(), req.get()) != 1) Fail(kErrRequest, "Request cannot be encoded");
    return BioText(bio.get());
}

#if defined(_WIN32)
constexpr bool kDrivePaths = true;
#else
constexpr bool kDrivePaths = false;  // "C:\..." names nothing here
#endif

// LocalPath: a path argument resolved on disk.
std::string LocalPath(const char* path, const char* what) {
    if (path == nullptr || *path == '\0') Fail(kErrArgument, std::string("No ") + what + " given");
    std::string p(path);
    if (!kDrivePaths && p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':')
        Fail(kErrArgument, std::string(what) + " \"" + p + "\" is a drive path");
    return ResolvePath(ExpandRoot(p));
}

PKeyPtr CertificateKey(const char* certFile) {
    SharedCert cert = CachedCertificate(LocalPath(certFile, "certificate file"));
    if (!cert) Fail(kErrCertificateFormat, std::string("No certificate in ") + certFile);
    return UpRef(X509_get0_pubkey(cert.get()));
}

KeyKind KindFromParams(const Context& ctx) {
    return SuiteFor(ctx.Param(kSignatureAlg)).kind;
}

}  // namespace

void GenerateKeyAndRequest(Context& ctx, char* buffer) {
    std::string keyFile = ctx.PathParam(kPrivateKeyFile);
    std::string requestFile = ctx.PathParam(kRequestFile);
    if (keyFile.empty() || requestFile.empty()) Fail(kErrArgument, "Private key file and request file must be set");
    SignatureSuite suite = SuiteFor(ctx.Param(kSignatureAlg));
    PKeyPtr key = GenerateKey(suite.kind, RsaBits(ctx.Param(kRsaKeySize)));
    const EVP_MD* md = DigestForKey(key.get(), ctx.Param(kSignatureAlg));
    std::string request = RequestPem(key.get(), FieldsFromParams(ctx), md);
    if (!WriteFileAtomic(keyFile, PrivateKeyPem(key.get(), ctx.Param(kPassword)), true))
        Fail(kErrFile, "Cannot write the private key file " + keyFile);
    if (!WriteFileAtomic(requestFile, request, false)) Fail(kErrFile, "Cannot write the request file " + requestFile);
    if (buffer != nullptr) buffer[0] = '\0';
}

void MakeRequestForPSE(Context& ctx, const char* dir, const char* requestFile) {
    std::string pse = LocalPath(dir, "key directory");
    std::string out = LocalPath(requestFile, "request file");
    if (!HasContainer(pse)) CreateContainer(pse, KindFromParams(ctx), RsaBits(ctx.Param(kRsaKeySize)));
    SharedKey key = ContainerPrivateKey(pse);
    const EVP_MD* md = DigestForKey(key.get(), ctx.Param(kSignatureAlg));
    if (!WriteFileAtomic(out, RequestPem(key.get(), FieldsFromParams(ctx), md), false))
        Fail(kErrFile, "Cannot write the request file " + out);
}

bool CertificateAndRequestMatch(Context&, const char* certFile, const char* requestFile) {
    PKeyPtr certKey = CertificateKey(certFile);
    auto bytes = ReadFile(LocalPath(requestFile, "request file"), 1 << 20);
    if (!bytes) Fail(kErrFile, std::string("Cannot read ") + requestFile);
    X509ReqPtr req = ParseRequest(*bytes);
    if (!req) Fail(kErrCertificateFormat, std::string(requestFile) + " is not a request");
    return SamePublicKey(certKey.get(), X509_REQ_get0_pubkey(req.get()));
}

bool CertificateAndPrivateKeyMatch(Context& ctx, const char* certFile, const char* keyFile) {
    PKeyPtr certKey = CertificateKey(certFile);
    SharedKey key = CachedPrivateKey(LocalPath(keyFile, "key file"), ctx.Param(kPassword));
    if (!key) Fail(kErrFile, std::string("Key file ") + keyFile + " not found");
    return SamePublicKey(certKey.get(), key.get());
}

bool CertificateAndPSePrivateKeyMatch(Context&, const char* certFile, const char* dir) {
    PKeyPtr certKey = CertificateKey(certFile);
    SharedKey key = ContainerPrivateKey(LocalPath(dir, "key directory"));
    return SamePublicKey(certKey.get(), key.get());
}

bool CertificateAndPSePrivateKeysMatch(Context& ctx, const char* certFile, const char* dir, char* output) {
    PKeyPtr certKey = CertificateKey(certFile);
    std::string from = LocalPath(dir, "key directory");
    SharedKey key = ContainerPrivateKey(from);
    if (!SamePublicKey(certKey.get(), key.get())) return false;
    std::string pse = ctx.PathParam(kKeyDir);
    if (pse.empty()) Fail(kErrArgument, "No PSE directory is set");
    std::string previous = pse == from ? std::string() : InstallSignatureKey(pse, from);
    if (output != nullptr) PutText(output, kMaxParamValueLength, previous);
    return true;
}

void PSePrivateKeyBackup(Context& ctx, const char* dir, char* output) {
    std::string target = LocalPath(dir, "backup directory");
    if (!HasContainer(target)) {
        std::string pse = ctx.PathParam(kKeyDir);
        if (pse.empty() || !HasContainer(pse)) Fail(kErrContainer, "No key container to back up");
        CopyContainer(pse, target);
    }
    if (output != nullptr) PutText(output, kMaxParamValueLength, ContainerIdentity(target));
}

}  // namespace vtk

// SignData / VerifyData: detached CMS SignedData with the signer's certificate and
// signing time; the attached form appends the signature and a fixed trailer.
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "algorithms.h"
#include "chain.h"
#include "errors.h"
#include "file_io.h"
#include "keys.h"
#include "size_limits.h"
#include "operations.h"
#include "params.h"
#include "subject.h"

namespace vtk {

namespace {

constexpr char kMagic[4] = {'V', 'S', 'G', '1'};
constexpr std::size_t kTrailer = 8;

void PutTrailer(unsigned char* at, std::uint32_t dataLength) {
    std::memcpy(at, kMagic, 4);
    for (int i = 0; i < 4; ++i) at[4 + i] = static_cast<unsigned char>(dataLength >> (8 * i));
}

// SplitAttached: the data length of an attached signature of total bytes, or -1.
long long SplitAttached(const unsigned char* buffer, std::size_t total) {
    if (total < kTrailer) return -1;
    const unsigned char* t = buffer + total - kTrailer;
    if (std::memcmp(t, kMagic, 4) != 0) return -1;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= static_cast<std::uint32_t>(t[4 + i]) << (8 * i);
    if (n > total - kTrailer) return -1;
    return n;
}

// SignerInfos: the signer infos of a SignedData, as a range.
std::vector<CMS_SignerInfo*> SignerInfos(CMS_ContentInfo* cms) {
    std::vector<CMS_SignerInfo*> infos;
    STACK_OF(CMS_SignerInfo)* stack = CMS_get0_SignerInfos(cms);
    for (int i = 0; i < sk_CMS_SignerInfo_num(stack); ++i) infos.push_back(sk_CMS_SignerInfo_value(stack, i));
    return infos;
}

}  // namespace

void SignData(Context& ctx, const unsigned char* data, std::int32_t length, unsigned char* signature,
              std::int32_t* signatureLength, const char* signer) {
    if (data == nullptr || length < 1 || signatureLength == nullptr) Fail(kErrArgument, "SignData: no data");
    // The capacity is the only bound of the caller's buffer: none, no signature.
    if (*signatureLength < 1) Fail(kErrNoRoom, "No room for a signature (capacity " + std::to_string(*signatureLength) + ")");
    SharedCert cert;
    SharedKey key = ctx.OwnKey(&cert);
    if (!cert) cert = ctx.OwnCertificate();  // throws the reason there is none
    if (signer != nullptr && *signer != '\0' && CertUid(cert.get(), ctx.UseSerial()) != signer) {
        SharedCert other = ctx.FindCertificate(signer);
        if (!other || !SamePublicKey(X509_get0_pubkey(other.get()), key.get()))
            Fail(kErrSignerKey, std::string("No private key for signer ") + signer);
        cert = other;
    }
    const EVP_MD* md = DigestForKey(key.get(), ctx.Param(kSignatureAlg));
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_BINARY | CMS_DETACHED | CMS_PARTIAL));
    if (!cms || CMS_add1_signer(cms.get(), cert.get(), key.get(), md, CMS_BINARY) == nullptr)
        Fail(kErrSign, "Signer cannot be added (key and certificate must belong together)");
    auto in = MemBio(data, static_cast<std::size_t>(length));
    if (CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY | CMS_DETACHED) != 1) Fail(kErrSign, "Signing failed");
    int size = i2d_CMS_ContentInfo(cms.get(), nullptr);
    if (size <= 0) Fail(kErrSign, "Signature cannot be encoded");

    if (signature != nullptr) {
        long long room = std::min<long long>(*signatureLength, kMaxSignatureLength);
        if (size > room) Fail(kErrNoRoom, "Signature of " + std::to_string(size) + " bytes exceeds " + std::to_string(room));
        unsigned char* p = signature;
        i2d_CMS_ContentInfo(cms.get(), &p);
        *signatureLength = size;
        return;
    }
    // Attached: the buffer holds the data and has room for *signatureLength bytes.
    long long addition = static_cast<long long>(size) + kTrailer;
    long long room = *signatureLength;
    if (addition > kMaxSignatureLength || length + addition > room)
        Fail(kErrNoRoom, "Attached signature of " + std::to_string(addition) + " bytes does not fit");
    auto* buffer = const_cast<unsigned char*>(data);  // attached signing writes behind the data
    unsigned char* p = buffer + length;
    i2d_CMS_ContentInfo(cms.get(), &p);
    PutTrailer(p, static_cast<std::uint32_t>(length));
    *signatureLength = static_cast<std::int32_t>(length + addition);
}

void VerifyData(Context& ctx, const unsigned char* data, std::int32_t* length, const unsigned char* signature,
                std::int32_t signatureLength, char* signer, bool checkTime) {
    if (data == nullptr || length == nullptr || signatureLength < 1) Fail(kErrArgument, "VerifyData: no data or signature");
    const unsigned char* der = signature;
    std::size_t derLength = static_cast<std::size_t>(signatureLength);
    std::size_t dataLength = static_cast<std::size_t>(std::max(*length, 0));
    if (signature == nullptr) {
        long long n = SplitAttached(data, static_cast<std::size_t>(signatureLength));
        if (n < 0) Fail(kErrSignatureFormat, "No attached signature found");
        dataLength = static_cast<std::size_t>(n);
        der = data + dataLength;
        derLength = static_cast<std::size_t>(signatureLength) - dataLength - kTrailer;
    } else if (*length < 1) {
        Fail(kErrArgument, "VerifyData: no data");
    }
    const unsigned char* p = der;
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(derLength)));
    if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) Fail(kErrSignatureFormat, "Not a signature");
    // The signature fills its span exactly: nothing may hide behind it (attached: before the trailer).
    if (p != der + derLength)
        Fail(kErrSignatureFormat, signature == nullptr ? "Bytes between the attached signature and its trailer"
                                                       : "Bytes after the end of the signature");
    EnsureCryptoReady();
    for (CMS_SignerInfo* info : SignerInfos(cms.get())) {
        X509_ALGOR *digest = nullptr, *algorithm = nullptr;
        CMS_SignerInfo_get0_algs(info, nullptr, nullptr, &digest, &algorithm);
        for (const X509_ALGOR* a : {digest, algorithm})
            if (a != nullptr) RequireGostEngineFor(a->algorithm, "A GOST signature");
    }
    auto content = MemBio(data, dataLength);
    if (CMS_verify(cms.get(), nullptr, nullptr, content.get(), nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1)
        Fail(kErrSignatureInvalid, "Signature does not match the data");
    X509ViewStackPtr signers(CMS_get0_signers(cms.get()));
    if (!signers || sk_X509_num(signers.get()) < 1) Fail(kErrSignatureFormat, "Signature names no signer");
    X509* cert = sk_X509_value(signers.get(), 0);

    SharedTrustStore trust = ctx.Trust(checkTime);
    X509StackPtr untrusted(CMS_get1_certs(cms.get()));
    const ChainProblem problem = CheckChain(trust->Store(), cert, untrusted.get());
    if (problem.error == X509_V_ERR_CERT_REVOKED) throw Failure(kErrRevoked, problem.text);
    if (problem.error == X509_V_ERR_CERT_HAS_EXPIRED || problem.error == X509_V_ERR_CERT_NOT_YET_VALID)
        throw Failure(kErrValidity, problem.text);
    if (problem.error != X509_V_OK) throw Failure(kErrUntrusted, problem.text);
    if (signer != nullptr) PutName(signer, kMaxUIDLength, CertUid(cert, ctx.UseSerial()));
    if (signature == nullptr) *length = static_cast<std::int32_t>(dataLength);
}

void RemoveSignaturesFromFile(Context&, const char* file) {
    if (file == nullptr || *file == '\0') Fail(kErrArgument, "No file given");
    std::string path = ResolvePath(file);
    auto bytes = ReadFile(path);
    if (!bytes) Fail(kErrFile, "Cannot read " + path);
    long long n = SplitAttached(reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size());
    if (n < 0) return;  // nothing attached
    if (!WriteFileAtomic(path, bytes->substr(0, static_cast<std::size_t>(n)), false)) Fail(kErrFile, "Cannot write " + path);
}

}  // namespace vtk

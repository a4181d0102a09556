// EncodeData / DecodeData: CMS EnvelopedData (DER) in the caller's buffer.
#include <openssl/buffer.h>
#include <openssl/cms.h>
#include <openssl/err.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "algorithms.h"
#include "file_io.h"
#include "keys.h"
#include "pse_container.h"
#include "buffer_sink.h"
#include "envelope_check.h"
#include "errors.h"
#include "size_limits.h"
#include "operations.h"
#include "params.h"
#include "recipients.h"
#include "subject.h"
#include "subject_line.h"

namespace vtk {

namespace {

// SplitSubjects: the subject lines of a ";"-joined list (escaped ";" stay inside a value).
std::vector<std::string> SplitSubjects(const char* subjects) {
    std::vector<std::string> out;
    if (subjects == nullptr) return out;
    for (auto& part : mpro::SplitSubjectList(subjects))
        if (!part.empty()) out.push_back(std::move(part));
    return out;
}

// ContentBio: the memory BIO CMS encrypts a content of size bytes into, with room for it and
// a cipher block from the start: the encrypted content is not copied as it grows. CMS takes
// the memory over when it finishes the envelope.
BioPtr ContentBio(std::size_t size) {
    constexpr std::size_t kBlockRoom = 64;
    std::unique_ptr<BUF_MEM, Deleter<BUF_MEM_free>> memory(BUF_MEM_new());
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!memory || !bio || !(memory->data = static_cast<char*>(OPENSSL_malloc(size + kBlockRoom))))
        Fail(kErrInternal, "Out of memory");
    memory->max = size + kBlockRoom;
    memory->length = 0;
    BIO_set_mem_buf(bio.get(), memory.release(), BIO_CLOSE);
    BIO_set_mem_eof_return(bio.get(), 0);
    return bio;
}

// PutBack: after a decryption that failed part way (a bad final block), the envelope in
// place of the plain text written so far: re-encoded from cms when that gives its size
// again, else those bytes zeroed. No part of a refused message stays in the buffer.
void PutBack(CMS_ContentInfo* cms, unsigned char* data, std::size_t envelopeSize, std::size_t written) {
    if (i2d_CMS_ContentInfo(cms, nullptr) == static_cast<int>(envelopeSize)) {
        unsigned char* p = data;
        if (i2d_CMS_ContentInfo(cms, &p) == static_cast<int>(envelopeSize)) return;
    }
    std::memset(data, 0, written);
}

// EarlierKeys: the user's keys from before the current certificate, newest first: the
// archives of the PSE, or (variant 0) the other key files of the key directory's KEYS.
std::vector<SharedKey> EarlierKeys(Context& ctx) {
    const std::string keyDir = ctx.PathParam(kKeyDir);
    if (keyDir.empty()) return {};
    if (Variant() != 0) return ArchivedKeys(keyDir);
    return KeysNewestFirst(ResolvePath(JoinPath(keyDir, "KEYS")), ctx.Param(kPassword));
}

// OpenWithEarlierKey: an envelope of size bytes at data for one of the user's earlier
// certificates, opened in place with the key it was made for: the plain size; nullopt when
// none opens it (the buffer then holds the envelope, as cms re-encodes it).
std::optional<std::size_t> OpenWithEarlierKey(Context& ctx, CMS_ContentInfo* cms, unsigned char* data, std::size_t size,
                                              std::size_t capacity) {
    const std::string der(reinterpret_cast<const char*>(data), size);
    for (const SharedKey& key : EarlierKeys(ctx)) {
        const auto* p = reinterpret_cast<const unsigned char*>(der.data());
        CmsPtr attempt(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
        BufferSink sink(data, capacity);
        // Without a certificate every recipient is tried with the key; a wrong key fails.
        if (attempt && CMS_decrypt(attempt.get(), key.get(), nullptr, nullptr, sink.Bio(), CMS_BINARY | CMS_DEBUG_DECRYPT) == 1)
            return sink.Written();
        ERR_clear_error();
        if (sink.Written() > 0) {  // a content key that opened a damaged content
            PutBack(cms, data, size, sink.Written());
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

void EncodeData(Context& ctx, unsigned char* data, std::int32_t* length, const char* subjects) {
    if (data == nullptr || length == nullptr || *length < 1) Fail(kErrArgument, "EncodeData: no data");
    std::vector<SharedCert> recipients;
    SharedTrustStore trust;  // looked at once per call, when the first recipient is checked
    const auto check = [&](const SharedCert& c, const std::string& who) {
        RequireGostEngineFor(c.get(), "Encryption for " + who);
        if (!trust) trust = ctx.Trust(true);
        CheckTrusted(*trust, c, "Recipient " + who);
    };
    for (const auto& s : SplitSubjects(subjects)) {
        SharedCert c = ctx.FindCertificate(s);
        if (!c) Fail(kErrRecipient, "No certificate for recipient " + s);
        check(c, s);
        recipients.push_back(c);
    }
    if (recipients.empty()) {
        recipients.push_back(ctx.OwnCertificate());
        check(recipients.back(), "own certificate");
    }

    const EVP_CIPHER* cipher = CipherFor(ctx.Param(kCipher));
    CmsPtr cms(CMS_encrypt(nullptr, nullptr, cipher, CMS_BINARY | CMS_PARTIAL));
    if (!cms) Fail(kErrEncrypt, "Cannot start the envelope");
    for (const auto& c : recipients) {
        if (CMS_add1_recipient_cert(cms.get(), c.get(), CMS_BINARY | CMS_KEY_PARAM) == nullptr)
            Fail(kErrEncrypt, "Recipient " + SubjectLine(X509_get_subject_name(c.get())) + " refused");
    }
    auto in = MemBio(data, static_cast<std::size_t>(*length));
    BioPtr content = ContentBio(static_cast<std::size_t>(*length));
    if (CMS_final(cms.get(), in.get(), content.get(), CMS_BINARY) != 1) Fail(kErrEncrypt, "Encryption failed");

    int size = i2d_CMS_ContentInfo(cms.get(), nullptr);
    if (size <= 0) Fail(kErrEncrypt, "Envelope cannot be encoded");
    long long room = static_cast<long long>(*length) + static_cast<long long>(kMaxEncodeAddition) * static_cast<long long>(recipients.size());
    if (size > room) Fail(kErrNoRoom, "Envelope of " + std::to_string(size) + " bytes exceeds the promised " + std::to_string(room));
    // The input was consumed by CMS_final, so the envelope can go straight into the buffer.
    unsigned char* p = data;
    if (i2d_CMS_ContentInfo(cms.get(), &p) != size) Fail(kErrEncrypt, "Envelope cannot be encoded");
    *length = size;
}

void DecodeData(Context& ctx, unsigned char* data, std::int32_t* length, char* subject) {
    if (data == nullptr || length == nullptr || *length < 1) Fail(kErrArgument, "DecodeData: no data");
    const unsigned char* p = data;
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, *length));
    if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_enveloped) Fail(kErrDecrypt, "Data is not an envelope");
    const auto envelopeSize = static_cast<std::size_t>(p - data);
    CheckEnvelope(cms.get(), DerBytes(data, envelopeSize));
    SharedCert cert;  // without the own certificate every recipient is tried with the key
    SharedKey key = ctx.OwnKey(&cert);
    EnsureCryptoReady();
    // The envelope was parsed into cms: the plain text goes straight into the caller's
    // buffer (never longer than the envelope), with no copy of the data in between.
    BufferSink plain(data, static_cast<std::size_t>(*length));
    // CMS_DEBUG_DECRYPT: a failed key transport is an error, not a random content key.
    std::optional<std::size_t> written;
    if (CMS_decrypt(cms.get(), key.get(), cert.get(), nullptr, plain.Bio(), CMS_BINARY | CMS_DEBUG_DECRYPT) == 1) {
        written = plain.Written();
    } else if (plain.Written() > 0) {
        PutBack(cms.get(), data, envelopeSize, plain.Written());
    } else {
        // No recipient for the own key: mail sent before a key renewal, for an earlier one.
        ERR_clear_error();
        written = OpenWithEarlierKey(ctx, cms.get(), data, envelopeSize, static_cast<std::size_t>(*length));
    }
    if (!written) Fail(kErrDecrypt, "Envelope cannot be opened with the own key or an earlier one");
    if (subject != nullptr) {
        std::string who = cert ? CertUid(cert.get(), ctx.UseSerial()) : std::string();
        PutText(subject, kMaxUIDLength, who);
    }
    *length = static_cast<std::int32_t>(*written);
}

}  // namespace vtk

#include "envelope_check.h"

#include <openssl/objects.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "der_reader.h"
#include "errors.h"

namespace vtk {

namespace {

[[noreturn]] void Refuse(const std::string& why) { throw Failure(kErrDecrypt, "Envelope refused: " + why); }

// OidOf: the first of nids whose DER encoding is oid, NID_undef when none is.
int OidOf(DerBytes oid, std::initializer_list<int> nids) {
    for (int nid : nids) {
        const ASN1_OBJECT* o = OBJ_nid2obj(nid);
        if (o != nullptr && static_cast<std::size_t>(OBJ_length(o)) == oid.size() &&
            std::memcmp(OBJ_get0_data(o), oid.data(), oid.size()) == 0)
            return nid;
    }
    return NID_undef;
}

// The parameter sets of GOST 28147-89 that the engine has substitution boxes for.
bool IsGost28147ParamSet(std::optional<DerBytes> oid) {
    return oid && OidOf(*oid, {NID_id_Gost28147_89_CryptoPro_A_ParamSet, NID_id_Gost28147_89_CryptoPro_B_ParamSet,
                               NID_id_Gost28147_89_CryptoPro_C_ParamSet, NID_id_Gost28147_89_CryptoPro_D_ParamSet,
                               NID_id_tc26_gost_28147_param_Z, NID_id_Gost28147_89_TestParamSet}) != NID_undef;
}

bool HasSize(std::optional<DerBytes> bytes, std::size_t size) { return bytes && bytes->size() == size; }

// Gost28147-89-Parameters: SEQUENCE { iv OCTET STRING (8), encryptionParamSet OID }.
void CheckGost28147Parameters(DerReader& algorithm) {
    auto params = algorithm.Enter(der::kSequence);
    if (!params || !algorithm.AtEnd()) Refuse("GOST 28147-89 parameters missing or malformed");
    if (!HasSize(params->Take(der::kOctetString), 8)) Refuse("GOST 28147-89 IV is not an 8-byte OCTET STRING");
    if (!IsGost28147ParamSet(params->Take(der::kOid)) || !params->AtEnd())
        Refuse("GOST 28147-89 parameter set unknown or malformed");
}

// AlgorithmIdentifier of the content: one of the ciphers this toolkit encrypts with.
void CheckContentCipher(std::optional<DerReader> algorithm) {
    auto oid = algorithm ? algorithm->Take(der::kOid) : std::nullopt;
    if (!oid) Refuse("content cipher missing");
    const int nid = OidOf(*oid, {NID_id_Gost28147_89, NID_des_ede3_cbc, NID_aes_128_cbc, NID_aes_192_cbc, NID_aes_256_cbc});
    if (nid == NID_undef) Refuse("content cipher not supported");
    // OpenSSL reads the IV of its own ciphers itself, and safely.
    if (nid == NID_id_Gost28147_89) CheckGost28147Parameters(*algorithm);
}

// GostR3410-KeyTransport as the engine reads it:
// SEQUENCE { SEQUENCE { encryptedKey OCTET STRING (32), macKey OCTET STRING (4) },
//            [0] { encryptionParamSet OID, [0] ephemeralPublicKey, ukm OCTET STRING (8) } }.
void CheckGostKeyTransport(DerBytes blob) {
    DerReader outer(blob);
    auto transport = outer.Enter(der::kSequence);
    if (!transport || !outer.AtEnd()) Refuse("GOST key transport malformed");
    auto key = transport->Enter(der::kSequence);
    if (!key || !HasSize(key->Take(der::kOctetString), 32) || !HasSize(key->Take(der::kOctetString), 4) || !key->AtEnd())
        Refuse("GOST encrypted key is not 32 bytes with a 4-byte MAC");
    auto agreement = transport->Enter(der::Context(0, true));
    if (!agreement || !transport->AtEnd()) Refuse("GOST transport parameters missing");
    if (!IsGost28147ParamSet(agreement->Take(der::kOid))) Refuse("GOST key transport parameter set unknown");
    if (!agreement->Take(der::Context(0, true))) Refuse("GOST ephemeral public key missing");
    if (!HasSize(agreement->Take(der::kOctetString), 8) || !agreement->AtEnd())
        Refuse("GOST key transport UKM is not 8 bytes");
}

// KeyTransRecipientInfo: SEQUENCE { version, rid, keyEncryptionAlgorithm, encryptedKey }.
// Other kinds of recipient carry context tags: this toolkit neither writes nor reads them.
void CheckRecipient(DerReader& recipients) {
    auto ri = recipients.Enter(der::kSequence);
    if (!ri) Refuse("only key transport recipients are accepted");
    if (!ri->Take(der::kInteger)) Refuse("recipient version missing");
    if (!ri->Take(der::kSequence) && !ri->Take(der::Context(0, false))) Refuse("recipient identifier malformed");
    auto algorithm = ri->Enter(der::kSequence);
    auto oid = algorithm ? algorithm->Take(der::kOid) : std::nullopt;
    auto encryptedKey = ri->Take(der::kOctetString);
    if (!oid || !encryptedKey || !ri->AtEnd()) Refuse("key transport recipient malformed");
    const int nid = OidOf(*oid, {NID_rsaEncryption, NID_rsaesOaep, NID_id_GostR3410_2001, NID_id_GostR3410_2001DH,
                                 NID_id_GostR3410_2012_256, NID_id_GostR3410_2012_512});
    if (nid == NID_undef) Refuse("key transport algorithm not supported");
    if (nid != NID_rsaEncryption && nid != NID_rsaesOaep) CheckGostKeyTransport(*encryptedKey);
}

// CheckEncoding: the checks above on the DER encoding of an envelope.
void CheckEncoding(DerBytes bytes) {
    // ContentInfo { contentType, [0] EXPLICIT EnvelopedData { version, [0] originatorInfo OPTIONAL,
    //   SET OF RecipientInfo, EncryptedContentInfo { contentType, contentEncryptionAlgorithm, … }, … } }
    DerReader top{bytes};
    auto info = top.Enter(der::kSequence);
    auto content = info && info->Take(der::kOid) ? info->Enter(der::Context(0, true)) : std::nullopt;
    auto enveloped = content ? content->Enter(der::kSequence) : std::nullopt;
    if (!enveloped || !enveloped->Take(der::kInteger)) Refuse("not an enveloped-data structure");
    if (enveloped->PeekTag() == der::Context(0, true)) enveloped->Skip();
    auto recipients = enveloped->Enter(der::kSet);
    if (!recipients || recipients->AtEnd()) Refuse("no recipients");
    while (!recipients->AtEnd()) CheckRecipient(*recipients);
    auto encrypted = enveloped->Enter(der::kSequence);
    if (!encrypted || !encrypted->Take(der::kOid)) Refuse("encrypted content malformed");
    CheckContentCipher(encrypted->Enter(der::kSequence));
}

}  // namespace

void CheckEnvelope(CMS_ContentInfo* cms, DerBytes input) {
    try {
        CheckEncoding(input);  // the usual case: the envelope arrived in DER
        return;
    } catch (const Failure&) {
        // BER (which OpenSSL accepts), or a refusal that the DER encoding confirms below.
    }
    // The DER encoding of what OpenSSL parsed has the same fields and keeps parameters and
    // encrypted keys byte for byte.
    const int size = i2d_CMS_ContentInfo(cms, nullptr);
    if (size <= 0) Refuse("it cannot be encoded again");
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    unsigned char* p = bytes.data();
    if (i2d_CMS_ContentInfo(cms, &p) != size) Refuse("it cannot be encoded again");
    CheckEncoding(bytes);
}

}  // namespace vtk

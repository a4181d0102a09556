#include "errors.h"

#include <openssl/err.h>

namespace vtk {

namespace {
// Calls at thread or process exit (a host closing contexts late) may come after this
// thread's message is destroyed: they are then not kept.
thread_local bool t_messageGone = false;
struct MessageSlot {
    std::string text;
    ~MessageSlot() { t_messageGone = true; }
};
thread_local MessageSlot t_lastMessage;
}

const char* ErrorText(std::int32_t code) {
    switch (code) {
    case kOk: return "Success";
    case kErrInternal: return "Internal toolkit error";
    case kErrArgument: return "Bad argument: null pointer, bad length or malformed text";
    case kErrContext: return "Unknown toolkit context";
    case kErrParamIndex: return "Toolkit parameter number out of range";
    case kErrAlgorithm: return "Algorithm not available";
    case kErrOwnCertificate: return "Own certificate not available";
    case kErrPrivateKey: return "Private key not available or wrong password";
    case kErrRecipient: return "Recipient certificate not found";
    case kErrEncrypt: return "Encryption failed";
    case kErrDecrypt: return "Decryption failed: data not addressed to this key or damaged";
    case kErrNoRoom: return "Output does not fit in the space promised to the caller";
    case kErrSign: return "Signing failed";
    case kErrSignatureFormat: return "Malformed signature";
    case kErrSignatureInvalid: return "Signature does not match the data";
    case kErrUntrusted: return "Signer certificate is not trusted";
    case kErrRevoked: return "Signer certificate is revoked";
    case kErrValidity: return "Signer certificate is expired or not yet valid";
    case kErrFile: return "File cannot be read or written";
    case kErrCertificateFormat: return "Malformed certificate, request or CRL";
    case kErrKeyGeneration: return "Key generation failed";
    case kErrRequest: return "Certificate request failed";
    case kErrContainer: return "Key container missing or damaged";
    case kErrCertificateNotFound: return "Certificate not found";
    case kErrSignerKey: return "No private key for the requested signer";
    case kErrRecipientExpired: return "Recipient certificate has expired";
    case kErrRecipientNotYetValid: return "Recipient certificate is not yet valid";
    case kErrRecipientRevoked: return "Recipient certificate is revoked";
    case kErrRecipientUntrusted: return "Recipient certificate is not issued by a CA of the installation";
    case kErrCrlUntrusted: return "CRL not signed by an installed CA certificate";
    case kErrCrlOutdated: return "CRL older than the installed list of its issuer";
    case kErrNotCaCertificate: return "Not a CA certificate";
    case kErrCaUntrusted: return "CA certificate not verifiable by an installed CA certificate";
    case kErrCaExpired: return "CA certificate has expired";
    case kErrCaRevoked: return "CA certificate is revoked by an installed CRL";
    case kErrNameCodePage: return "A name of the certificate cannot be written in the ANSI code page";
    case kErrGostEngine: return "GOST engine not loaded: OpenSSL cannot use GOST keys, signatures or ciphers";
    // The engine's codes that take their text from the toolkit.
    case -105: return "Result code -105 is not raised by this version";
    case -106: return "The certificate filed under a UID carries another UID, or the signed data file cannot be written";
    default: return nullptr;
    }
}

std::string OpenSslErrors() {
    std::string text;
    unsigned long e;
    char buf[256];
    while ((e = ERR_get_error()) != 0) {
        ERR_error_string_n(e, buf, sizeof buf);
        if (!text.empty()) text += "; ";
        text += buf;
    }
    return text;
}

void Fail(Code code, const std::string& reason) {
    std::string text = reason;
    std::string queue = OpenSslErrors();
    if (!queue.empty()) text += " (" + queue + ")";
    throw Failure(code, text);
}

void SetLastMessage(const std::string& text) {
    if (!t_messageGone) t_lastMessage.text = text;
}

std::string LastMessage() { return t_messageGone ? std::string() : t_lastMessage.text; }

}  // namespace vtk

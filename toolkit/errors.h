// The toolkit's result codes (-1000 and below) with their texts, the exception that
// carries a code through the implementation, and the calling thread's last message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vtk {

enum Code : std::int32_t {
    kOk = 0,
    kErrInternal = -1000,
    kErrArgument = -1001,
    kErrContext = -1002,
    kErrParamIndex = -1003,
    kErrAlgorithm = -1004,
    kErrOwnCertificate = -1005,
    kErrPrivateKey = -1006,
    kErrRecipient = -1007,
    kErrEncrypt = -1008,
    kErrDecrypt = -1009,
    kErrNoRoom = -1010,
    kErrSign = -1011,
    kErrSignatureFormat = -1012,
    kErrSignatureInvalid = -1013,
    kErrUntrusted = -1014,
    kErrRevoked = -1015,
    kErrValidity = -1016,
    kErrFile = -1017,
    kErrCertificateFormat = -1018,
    kErrKeyGeneration = -1019,
    kErrRequest = -1020,
    kErrContainer = -1021,
    kErrCertificateNotFound = -1022,
    kErrSignerKey = -1023,
    // Encryption refused for a recipient certificate that may not receive mail.
    kErrRecipientExpired = -1030,
    kErrRecipientNotYetValid = -1031,
    kErrRecipientRevoked = -1032,
    kErrRecipientUntrusted = -1033,
    // Installing revocation lists.
    kErrCrlUntrusted = -1040,
    kErrCrlOutdated = -1041,
    // Accepting CA certificates.
    kErrNotCaCertificate = -1050,
    kErrCaUntrusted = -1051,
    kErrCaExpired = -1052,
    kErrCaRevoked = -1053,
    // Texts between the host and the certificates.
    kErrNameCodePage = -1080,
    // GOST keys, signatures or ciphers met while OpenSSL has no GOST engine.
    kErrGostEngine = -1060,
};

// ErrorText: the fixed text of a toolkit code, or nullptr for an unknown code.
const char* ErrorText(std::int32_t code);

// Failure: a toolkit code with a detailed reason (never key material).
class Failure : public std::runtime_error {
public:
    Failure(Code code, const std::string& reason) : std::runtime_error(reason), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// Fail: throws a Failure whose reason is the text given followed by OpenSSL's error queue.
[[noreturn]] void Fail(Code code, const std::string& reason);

// OpenSslErrors: drains the calling thread's OpenSSL error queue into one text.
std::string OpenSslErrors();

// SetLastMessage / LastMessage: the calling thread's last detailed reason.
void SetLastMessage(const std::string& text);
std::string LastMessage();

}  // namespace vtk

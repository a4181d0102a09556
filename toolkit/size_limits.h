// The sizes the toolkit promises through its GetMax… functions; every output is
// checked against them before it is written.
#pragma once

#include <cstdint>
#include <string>

namespace vtk {

constexpr std::int32_t kMaxEncodeAddition = 4096;  // per recipient
// An 8452-byte record with an attached signature must stay within 16904 base64
// characters (12678 bytes): 12678 - 8452 = 4226 bytes for signature and trailer.
constexpr std::int32_t kMaxSignatureLength = 4224;
constexpr std::int32_t kMaxUIDLength = 4096;  // subject lines, not only UIDs
constexpr std::int32_t kMaxPasswordLength = 256;
constexpr std::int32_t kMaxParamNameLength = 64;
constexpr std::int32_t kMaxParamValueLength = 2048;
constexpr std::int32_t kMaxErrorStringLength = 1024;
constexpr std::int32_t kMaxFileNameLength = 1024;
constexpr std::int32_t kMaxCertificateLength = 16384;
constexpr std::int32_t kMaxCertInfoLength = 32768;

// PutText: copies a UTF-8 text as the host writes it (os::HostText: a character the host's
// code page cannot write as "?") with its terminator into a buffer of cap bytes; throws
// kErrNoRoom when it does not fit, kErrArgument for a null buffer.
void PutText(char* buffer, std::size_t cap, const std::string& text);
// PutName: PutText for a name the host matches (a UID, a subject line): one the host's code
// page cannot write is refused with kErrNameCodePage instead.
void PutName(char* buffer, std::size_t cap, const std::string& name);

}  // namespace vtk

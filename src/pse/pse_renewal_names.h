// Names of key renewal: the files it keeps in the remote generation directory and the
// time stamp that makes a new subscriber name unique.
#pragma once

#include <cstdint>
#include <string>

namespace vorlan {

// Files of the remote generation directory. The request, and later the certificate that
// answers it, always go by the one spelling kRequestFileName.
inline constexpr const char* kSelfCertificateName = "self.pem";
inline constexpr const char* kBackupTextName = "backup.key";
inline constexpr const char* kRequestFileName = "Tmp_cert.pem";
// kMaxRequestFileSize: the largest request that travels in a transfer.
inline constexpr std::int32_t kMaxRequestFileSize = 8192;

// RenewalTimeStamp: " (dd-mm-yyyy hh-mm-ss)" of a local date-time in days since 1899-12-30.
std::string RenewalTimeStamp(double days);

}  // namespace vorlan

// Names of key renewal: the files it keeps in the remote generation directory and the PSE
// directory, and the time stamp that makes a new subscriber name unique.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlan {

// Files of the remote generation directory. The request, and later the certificate that
// answers it, always go by the one spelling kRequestFileName.
inline constexpr const char* kSelfCertificateName = "self.pem";
inline constexpr const char* kBackupTextName = "backup.key";
inline constexpr const char* kRequestFileName = "Tmp_cert.pem";
// kPendingPrefix: R + kPendingPrefix + NNN is a renewal set aside by a later start.
inline constexpr const char* kPendingPrefix = "pending.";
// In the PSE directory: the lock file a renewal holds between its steps (and during its
// finish); where the finish unpacks a pending key set, and the staging copy of the PSE where
// it has the toolkit install the new signature key, with the certificate of the transfer.
inline constexpr const char* kRenewalLockName = "renewal.lock";
inline constexpr const char* kUnpackedDirName = "renewal.keys\\";
inline constexpr const char* kStagingDirName = "renewal.stage\\";
inline constexpr const char* kIssuedName = "issued.pem";
// kMaxRequestFileSize: the largest request that travels in a transfer.
inline constexpr std::int32_t kMaxRequestFileSize = 8192;

// RenewalTimeStamp: " (dd-mm-yyyy hh-mm-ss)" of a local date-time in days since 1899-12-30.
std::string RenewalTimeStamp(double days);

// PendingKeySets: the directories of R that hold a packed key set waiting for its
// certificate: R itself, then the renewals set aside, newest first.
std::vector<std::string> PendingKeySets(const std::string& R);

}  // namespace vorlan

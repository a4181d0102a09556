// How files enter the certificate and CRL directories: each change either completes or is
// taken back, and a reader of the directory finds a current file at every moment.
// The caller holds StoreLock.
#pragma once

#include <string>

namespace vorlan {

// FileCertificate_locked: puts a copy of source in place as dir + uid + ".pem". A current
// UID.pem is kept as the backup UID.NNN (copied first, then replaced in one rename); a
// UID.cer steps aside as the next backup number. With move the source is deleted once the
// certificate is in place. False: the directory is as it was.
bool FileCertificate_locked(const std::string& dir, const std::string& uid, const std::string& source, bool move);

// InstallCRL_locked: puts a copy of the list source in place as dir + "crl" + N + ".pem", N
// numbered as if `replaced` (a list file of dir, or empty) were gone, and then removes
// `replaced`; a list that cannot be deleted goes to dir's "replaced" subdirectory, where no
// toolkit reads it. The source is deleted once the list is in place. False: nothing changed.
bool InstallCRL_locked(const std::string& dir, const std::string& source, const std::string& replaced);

}  // namespace vorlan

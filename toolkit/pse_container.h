// The key container (PSE) on disk: the key set files under a key directory.
//   uz.db3               container record: format line, identity, algorithm, creation time
//   gk.db3               public key (DER SubjectPublicKeyInfo)
//   num                  container serial: 32 random hex digits
//   DB/CRYPT/ckd.key     storage key: 32 random bytes that protect the private key (0600)
//   DB/SIGN/sec_sgn.key  private key, PKCS#8 encrypted with the storage key (0600)
//   DB/SIGN/pub_sgn.key  public key PEM;  sc_pub.key  public key PEM
//   DB/SIGN/sec_sgn.NNN  an earlier private key, archived by a renewal: a line
//                        "Storage-Key: <hex>" with what opens it, then its PEM
// The identity is the SHA-256 of the public key, so every new container has a new one.
#pragma once

#include <string>
#include <vector>

#include "algorithms.h"
#include "object_cache.h"
#include "ossl.h"

namespace vtk {

// HasContainer: whether a directory holds a container (record and private key).
bool HasContainer(const std::string& dir);
// HasContainerFiles: whether a directory holds any file of a key set, complete or not.
bool HasContainerFiles(const std::string& dir);
// CreateContainer: makes a new container in a directory (replacing one that is there);
// returns its identity.
std::string CreateContainer(const std::string& dir, KeyKind kind, int rsaBits);
// ContainerIdentity: the identity recorded in a directory's container; throws kErrContainer.
std::string ContainerIdentity(const std::string& dir);
// ContainerPublicKey: the container's public key; throws kErrContainer.
PKeyPtr ContainerPublicKey(const std::string& dir);
// ContainerPrivateKey: the container's private key (cached); throws kErrContainer.
SharedKey ContainerPrivateKey(const std::string& dir);
// CopyContainer: copies every key set file that exists from one directory to another.
void CopyContainer(const std::string& from, const std::string& to);
// SetContainerAside: copies every key set file of dir (the previous signature key too) into
// aside, each with its own mode, then removes them from dir, the record first; throws
// kErrFile, with dir untouched, when a copy fails.
void SetContainerAside(const std::string& dir, const std::string& aside);
// InstallSignatureKey: puts the signature key files of container `from` into `pse`,
// keeping the previous secret key, with the storage key that opens it, as
// DB/SIGN/sec_sgn.prv; returns that file's path (empty when there was no previous key).
std::string InstallSignatureKey(const std::string& pse, const std::string& from);
// ArchivedKeys: the earlier private keys of the container in dir that open, newest first
// (sec_sgn.prv, then sec_sgn.NNN by falling number); archives without their storage key
// are tried with the storage keys of the key database (ckd.old, ckd.key).
std::vector<SharedKey> ArchivedKeys(const std::string& dir);

}  // namespace vtk

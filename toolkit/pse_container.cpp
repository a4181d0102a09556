#include "pse_container.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <sstream>
#include <vector>

#include "errors.h"
#include "file_io.h"
#include "file_system.h"
#include "keys.h"

namespace vtk {

namespace {

const char* const kRecord = "uz.db3";
const char* const kPublic = "gk.db3";
const char* const kSerial = "num";
const char* const kStorageKey = "DB/CRYPT/ckd.key";
const char* const kSecret = "DB/SIGN/sec_sgn.key";
const char* const kSignPublic = "DB/SIGN/pub_sgn.key";
const char* const kPublicPem = "sc_pub.key";
const char* const kPrevious = "DB/SIGN/sec_sgn.prv";  // ArchiveNumber knows its name
const char* const kSignDir = "DB/SIGN";
const char* const kOldStorageKey = "DB/CRYPT/ckd.old";
const char* const kStorageLine = "Storage-Key: ";
constexpr std::size_t kMaxArchiveSize = 1 << 20;
const char* const kAllFiles[] = {kRecord, kPublic, kSerial, kPublicPem, kStorageKey, "DB/CRYPT/net_ks.key", kSecret, kSignPublic};

std::string In(const std::string& dir, const char* name) { return ResolvePath(JoinPath(dir, name)); }

std::string Hex(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Random(std::size_t n) {
    std::string bytes(n, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(n)) != 1)
        Fail(kErrKeyGeneration, "No random bytes");
    return bytes;
}

std::string StoragePassword(const std::string& storageKey) {
    return Hex(reinterpret_cast<const unsigned char*>(storageKey.data()), storageKey.size());
}

void Write(const std::string& dir, const char* name, const std::string& bytes, bool ownerOnly) {
    if (!WriteFileAtomic(In(dir, name), bytes, ownerOnly)) Fail(kErrFile, std::string("Cannot write container file ") + name);
}

std::string Read(const std::string& dir, const char* name) {
    auto bytes = ReadFile(In(dir, name), 1 << 20);
    if (!bytes) Fail(kErrContainer, std::string("Container file ") + name + " missing or unreadable");
    return *bytes;
}

}  // namespace

bool HasContainer(const std::string& dir) { return IsFile(In(dir, kRecord)) && IsFile(In(dir, kSecret)); }

bool HasContainerFiles(const std::string& dir) {
    return IsFile(In(dir, kPrevious)) ||
           std::any_of(std::begin(kAllFiles), std::end(kAllFiles), [&](const char* name) { return IsFile(In(dir, name)); });
}

std::string CreateContainer(const std::string& dir, KeyKind kind, int rsaBits) {
    PKeyPtr key = GenerateKey(kind, rsaBits);
    std::string der = PublicKeyDer(key.get());
    unsigned char md[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(der.data()), der.size(), md);
    std::string id = Hex(md, sizeof md);
    std::string storage = Random(32);
    std::string serialBytes = Random(16);

    std::time_t now = std::time(nullptr);
    std::tm tm{};
    OPENSSL_gmtime(&now, &tm);
    char created[32];
    std::strftime(created, sizeof created, "%d.%m.%Y %H:%M:%S", &tm);
    std::ostringstream record;
    record << "VORLAN-PSE 1\nid=" << id << "\nalgorithm=" << KeyAlgorithmName(key.get()) << "\ncreated=" << created << "\n";

    // The private key and its storage key first, the record last: a container whose
    // record names the new identity is complete.
    Write(dir, kStorageKey, storage, true);
    Write(dir, kSecret, PrivateKeyPem(key.get(), StoragePassword(storage)), true);
    Write(dir, kSignPublic, PublicKeyPem(key.get()), false);
    Write(dir, kPublicPem, PublicKeyPem(key.get()), false);
    Write(dir, kPublic, der, false);
    Write(dir, kSerial, Hex(reinterpret_cast<const unsigned char*>(serialBytes.data()), serialBytes.size()) + "\n", false);
    Write(dir, kRecord, record.str(), false);
    return id;
}

std::string ContainerIdentity(const std::string& dir) {
    std::string record = Read(dir, kRecord);
    std::size_t p = record.find("\nid=");
    if (record.rfind("VORLAN-PSE 1\n", 0) != 0 || p == std::string::npos) Fail(kErrContainer, "Container record damaged");
    std::size_t end = record.find('\n', p + 4);
    return record.substr(p + 4, end == std::string::npos ? std::string::npos : end - p - 4);
}

PKeyPtr ContainerPublicKey(const std::string& dir) {
    PKeyPtr key = PublicKeyFromDer(Read(dir, kPublic));
    if (!key) Fail(kErrContainer, "Container public key damaged");
    return key;
}

SharedKey ContainerPrivateKey(const std::string& dir) {
    std::string storage = Read(dir, kStorageKey);
    SharedKey key;
    try {
        key = CachedPrivateKey(In(dir, kSecret), StoragePassword(storage));
    } catch (const Failure&) {
        Fail(kErrContainer, "Container private key does not open with its storage key");
    }
    if (!key) Fail(kErrContainer, "Container private key missing");
    return key;
}

void CopyContainer(const std::string& from, const std::string& to) {
    for (const char* name : kAllFiles) {
        std::string src = In(from, name);
        if (!IsFile(src)) continue;
        if (!CopyFileWhole(src, In(to, name))) Fail(kErrFile, std::string("Cannot copy container file ") + name);
    }
}

void SetContainerAside(const std::string& dir, const std::string& aside) {
    std::vector<const char*> names(std::begin(kAllFiles), std::end(kAllFiles));
    names.push_back(kPrevious);
    std::vector<std::string> moved;
    for (const char* name : names) {
        const std::string file = In(dir, name);
        if (!IsFile(file)) continue;
        if (!CopyFileWhole(file, In(aside, name))) Fail(kErrFile, std::string("Cannot copy container file ") + name + " to " + aside);
        moved.push_back(file);
    }
    // The record goes first: from then on the directory holds no container a reader would take.
    for (const std::string& file : moved) os::RemoveFile(file);
}

std::string InstallSignatureKey(const std::string& pse, const std::string& from) {
    std::string previous;
    std::string current = In(pse, kSecret);
    if (IsFile(current)) {
        // The storage key changes with the key database: the archive keeps the one that opens it.
        previous = In(pse, kPrevious);
        const std::string archive = kStorageLine + StoragePassword(Read(pse, kStorageKey)) + "\n" + Read(pse, kSecret);
        if (!WriteFileAtomic(previous, archive, true)) Fail(kErrFile, "Cannot keep the previous signature key");
    }
    if (!CopyFileWhole(In(from, kSecret), current)) Fail(kErrFile, "Cannot install the new signature key");
    std::string pub = In(from, kSignPublic);
    if (IsFile(pub)) CopyFileWhole(pub, In(pse, kSignPublic));
    return previous;
}

namespace {

// ArchiveNumber: NNN of "sec_sgn.NNN" (three digits), above them "sec_sgn.prv", else -1.
int ArchiveNumber(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() != 11 || !EqualNoCase(name.substr(0, 8), "sec_sgn.")) return -1;
    if (EqualNoCase(name.substr(8), "prv")) return 1000;
    int number = 0;
    for (char c : name.substr(8)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

// OpenArchive: the key of an archive, with its own storage key or else one of the others.
SharedKey OpenArchive(const std::string& file, const std::vector<std::string>& passwords) {
    const auto bytes = ReadFile(file, kMaxArchiveSize);
    if (!bytes) return nullptr;
    std::vector<std::string> tries;
    const std::size_t from = std::strlen(kStorageLine);
    if (bytes->starts_with(kStorageLine)) tries.push_back(bytes->substr(from, bytes->find('\n') - from));
    tries.insert(tries.end(), passwords.begin(), passwords.end());
    for (const auto& password : tries) {
        try {
            if (SharedKey key = CachedPrivateKey(file, password)) return key;
        } catch (const Failure&) {
            // not with this storage key
        }
    }
    return nullptr;
}

}  // namespace

std::vector<SharedKey> ArchivedKeys(const std::string& dir) {
    std::vector<std::pair<int, std::string>> archives;
    for (const auto& file : ListFiles(In(dir, kSignDir)))
        if (const int number = ArchiveNumber(file); number >= 0) archives.emplace_back(number, file);
    std::sort(archives.rbegin(), archives.rend());
    std::vector<std::string> passwords;
    for (const char* name : {kOldStorageKey, kStorageKey})
        if (const auto storage = ReadFile(In(dir, name), 4096)) passwords.push_back(StoragePassword(*storage));
    std::vector<SharedKey> keys;
    for (const auto& [number, file] : archives)
        if (SharedKey key = OpenArchive(file, passwords)) keys.push_back(std::move(key));
    return keys;
}

}  // namespace vtk

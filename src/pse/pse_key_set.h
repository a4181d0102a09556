// The PSE key set: the eight files the toolkit keeps under a key directory, the order in
// which they are processed, and the names of their packed ".dat" twins.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vorlan {

struct KeySetFile {
    const char* name;  // relative to the key directory
    bool required;     // must be packed, copied and restored; the others may be missing
};

// kKeySet: the key set in processing order (packing, restoring).
inline constexpr std::array<KeySetFile, 8> kKeySet{{
    {"uz.db3", true},
    {"gk.db3", true},
    {"num", true},
    {"DB\\CRYPT\\ckd.key", true},
    {"DB\\SIGN\\sec_sgn.key", true},
    {"sc_pub.key", false},
    {"DB\\CRYPT\\net_ks.key", false},
    {"DB\\SIGN\\pub_sgn.key", false},
}};

// kKeySetDeleteOrder: the order in which plain key files are deleted.
inline constexpr std::array<const char*, 8> kKeySetDeleteOrder{
    "uz.db3", "gk.db3", "num", "sc_pub.key", "DB\\CRYPT\\ckd.key", "DB\\SIGN\\sec_sgn.key", "DB\\CRYPT\\net_ks.key",
    "DB\\SIGN\\pub_sgn.key"};

// The key subdirectories, parents first.
inline constexpr std::array<const char*, 3> kKeySetDirs{"DB", "DB\\CRYPT", "DB\\SIGN"};

inline constexpr const char* kSignatureKeyFile = "DB\\SIGN\\sec_sgn.key";
inline constexpr const char* kSignaturePublicKeyFile = "DB\\SIGN\\pub_sgn.key";

// kMaxKeyFileSize: the largest key file that is packed and unpacked.
inline constexpr std::int32_t kMaxKeyFileSize = 8192;
// kMaxDatHeader: room for a ".dat" file's header (the key file's path and its zero byte).
inline constexpr std::int32_t kMaxDatHeader = 4097;

// DatTwinName: the file name with its extension replaced by ".dat" ("num" -> "num.dat").
std::string DatTwinName(const std::string& file);

}  // namespace vorlan

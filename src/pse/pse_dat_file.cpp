// TMProWinCryptoEngine: one key file packed into its ".dat" twin for one recipient, and
// unpacked again. A ".dat" file is the key file's path, a zero byte, then the encrypted bytes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_key_set.h"
#include "support/errors.h"
#include "support/file_utils.h"

namespace vorlan {

std::string DatTwinName(const std::string& file) {
    const auto separator = std::find_if(file.rbegin(), file.rend(), platform::IsPathSeparator);
    const auto nameStart = static_cast<std::size_t>(file.rend() - separator);
    const auto dot = file.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return file + ".dat";
    return file.substr(0, dot) + ".dat";
}

namespace {

// Wiped: a work area that holds plain key bytes, cleared on every way out.
struct Wiped {
    std::vector<unsigned char> bytes;
    explicit Wiped(std::size_t size) : bytes(size) {}
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
    ~Wiped() { std::fill(bytes.begin(), bytes.end(), static_cast<unsigned char>(0)); }
};

}  // namespace

std::int32_t TMProWinCryptoEngine::EncryptFileToDat(const std::string& file, const char* uid) {
    if (uid == nullptr) return kBadArgument;
    if (!platform::FileExists(file)) return kIOError;
    const auto size = platform::FileSize(file);
    if (!size || *size > kMaxKeyFileSize || file.size() + 1 > static_cast<std::size_t>(kMaxDatHeader)) return kIOError;
    // Header, its zero, the file, and what encryption for one recipient may add.
    const std::int32_t addition = std::max(GetMaxEncodeAddition(), 0);
    const std::size_t headerSize = file.size() + 1;
    Wiped area(headerSize + static_cast<std::size_t>(*size) + static_cast<std::size_t>(addition));
    std::int32_t length = static_cast<std::int32_t>(*size);
    if (!ReadFileBuffer(file, area.bytes.data(), &length)) return kIOError;
    const std::int32_t result = EncodeAfterHeader(file, area.bytes.data(), &length, uid);
    if (result != kOk) return result;
    // The toolkit promises at most `addition` bytes of growth; more means it wrote past the area.
    if (length < 0 || static_cast<std::size_t>(length) > area.bytes.size())
        throw EInOutError("Encryption of " + file + " outgrew its work area");
    return WriteFileBuffer(DatTwinName(file), area.bytes.data(), length) ? kOk : kIOError;
}

std::int32_t TMProWinCryptoEngine::DecryptDatToFile(const std::string& datFile, const std::string& target) {
    if (!platform::FileExists(datFile)) return kIOError;
    // Whatever packing may write: the header, a key file of the largest size, the growth.
    const std::int32_t room = kMaxDatHeader + kMaxKeyFileSize + std::max(GetMaxEncodeAddition(), 0);
    const auto size = platform::FileSize(datFile);
    if (!size || *size > room) return kIOError;
    Wiped area(static_cast<std::size_t>(*size));
    std::int32_t length = static_cast<std::int32_t>(*size);
    if (!ReadFileBuffer(datFile, area.bytes.data(), &length)) return kIOError;
    // A file without the zero byte that ends its header is damaged, not encrypted data.
    const auto begin = area.bytes.begin(), end = begin + length;
    if (std::find(begin, end, 0) == end) return kIOError;
    unsigned char* data = nullptr;
    std::int32_t dataSize = 0;
    const std::int32_t result = DecodeAfterHeader(area.bytes.data(), length, &data, &dataSize);
    if (result != kOk) return result;
    if (dataSize < 0 || data + dataSize > area.bytes.data() + length) throw EInOutError("Decryption of " + datFile + " outgrew its data");
    if (dataSize > kMaxKeyFileSize) return kIOError;
    return WriteFileBuffer(target, data, dataSize, FileAccess::KeyMaterial) ? kOk : kIOError;
}

}  // namespace vorlan

#include "engine/transfer_record.h"

#include <array>
#include <cstring>
#include <optional>

#include "platform/ansi_text.h"
#include "support/errors.h"

namespace vorlan {

namespace {

constexpr std::size_t kShortLengthOffset = 256;
constexpr std::size_t kShortBlockOffset = 260;
constexpr std::size_t kLongLengthOffset = 512;
constexpr std::size_t kLongBlockOffset = 516;

// Windows-1251 bytes 0x80..0xFF as characters (0x98 is unused: U+FFFD).
constexpr std::array<char16_t, 128> kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// OwnerBytes: the owner in Windows-1251; nullopt when a character has no byte there.
std::optional<std::string> OwnerBytes(std::string_view owner) {
    std::string bytes;
    for (char32_t c : platform::AnsiToChars(owner)) {
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c >= 0x410 && c <= 0x44F) {  // А..я
            bytes += static_cast<char>(c - 0x410 + 0xC0);
        } else {
            std::size_t i = 0;
            while (i < 64 && kCp1251[i] != c) ++i;
            if (i == 64 || c == 0xFFFD) return std::nullopt;
            bytes += static_cast<char>(0x80 + i);
        }
    }
    return bytes;
}

// OwnerText: the owner's Windows-1251 bytes as 8-bit text.
std::string OwnerText(std::string_view bytes) {
    std::u32string chars;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t ch = byte < 0x80 ? byte : byte >= 0xC0 ? 0x410 + (byte - 0xC0) : kCp1251[byte - 0x80];
        chars += ch == 0xFFFD ? U'?' : ch;
    }
    return platform::CharsToAnsi(chars);
}

std::uint32_t ReadLittleEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    return value;
}

}  // namespace

bool TransferOwnerFits(std::string_view owner) {
    const auto bytes = OwnerBytes(owner);
    return bytes && bytes->size() < kTransferOwnerSize;
}

std::string PackTransferRecord(std::string_view owner, std::string_view block) {
    const auto bytes = OwnerBytes(owner);
    if (!bytes || bytes->size() >= kTransferOwnerSize || block.size() > kTransferBlockCapacity)
        throw ERangeError("A transfer record holds an owner of below 256 Windows-1251 characters and at most 8192 bytes");
    std::string record(kTransferRecordSize, '\0');
    std::memcpy(record.data(), bytes->data(), bytes->size());
    const auto length = static_cast<std::uint32_t>(block.size());
    for (std::size_t i = 0; i < 4; ++i) record[kShortLengthOffset + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    std::memcpy(record.data() + kShortBlockOffset, block.data(), block.size());
    return record;
}

bool UnpackTransferBody(std::string_view body, TransferBlock& out) {
    if (body.size() < kTransferRecordSize) return false;
    const bool isLong = body.size() == kLongTransferBodySize;
    const std::size_t lengthOffset = isLong ? kLongLengthOffset : kShortLengthOffset;
    const std::size_t blockOffset = isLong ? kLongBlockOffset : kShortBlockOffset;
    // A length read as unsigned: a negative one is far above the capacity.
    const std::uint32_t length = ReadLittleEndian32(body, lengthOffset);
    if (length > kTransferBlockCapacity) return false;
    const std::string_view owner = body.substr(0, kTransferOwnerSize);
    const auto end = owner.find('\0');
    if (end == std::string_view::npos) return false;
    out.owner = OwnerText(owner.substr(0, end));
    if (out.owner.size() >= kTransferOwnerSize) return false;  // the callers' buffers hold 256 bytes
    out.block.assign(body.substr(blockOffset, length));
    return true;
}

}  // namespace vorlan

// The public key transfer record: an owner UID and a certificate or request block in the
// fixed little-endian layout that travels between parties. Built in the short layout
// (8452 bytes); the long layout (13828 bytes) of older senders is read too. The owner
// travels in Windows-1251 (as Russian Windows systems write it) and is the library's 8-bit
// text (platform/ansi_text.h) on either side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlan {

inline constexpr std::size_t kTransferOwnerSize = 256;       // owner UID, zero-terminated
inline constexpr std::size_t kTransferBlockCapacity = 8192;  // certificate or request bytes
inline constexpr std::size_t kTransferRecordSize = 8452;     // short layout: owner, length, block
inline constexpr std::size_t kLongTransferBodySize = 13828;  // long layout: length at 512, block at 516
inline constexpr std::int32_t kMaxPublicKeyTransferSize = 16904;  // base64 characters, without the zero

// TransferBlock: what a transfer carries.
struct TransferBlock {
    std::string owner;  // at most 255 bytes
    std::string block;  // at most 8192 bytes
};

// TransferOwnerFits: whether an owner can be written into the record: every character has a
// Windows-1251 byte and there are fewer than 256 of them.
bool TransferOwnerFits(std::string_view owner);

// PackTransferRecord: the 8452-byte short-layout record, every unused byte zero. Raises
// ERangeError for an owner that does not fit (TransferOwnerFits) or a block above 8192 bytes.
std::string PackTransferRecord(std::string_view owner, std::string_view block);

// UnpackTransferBody: the owner and block of a body read from a transfer: exactly 13828 bytes
// is the long layout, anything else the short one. False for a body shorter than 8452 bytes,
// a block length outside 0..8192, or an owner without a zero in its 256 bytes or above 255
// bytes as 8-bit text. A character the 8-bit text cannot write (or the unused byte 0x98)
// reads as "?", which no UID holds.
bool UnpackTransferBody(std::string_view body, TransferBlock& out);

}  // namespace vorlan

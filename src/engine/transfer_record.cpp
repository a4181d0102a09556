#include "engine/transfer_record.h"

#include <cstring>

#include "support/errors.h"

namespace vorlan {

namespace {

constexpr std::size_t kShortLengthOffset = 256;
constexpr std::size_t kShortBlockOffset = 260;
constexpr std::size_t kLongLengthOffset = 512;
constexpr std::size_t kLongBlockOffset = 516;

std::uint32_t ReadLittleEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    return value;
}

}  // namespace

std::string PackTransferRecord(std::string_view owner, std::string_view block) {
    if (owner.size() >= kTransferOwnerSize || block.size() > kTransferBlockCapacity)
        throw ERangeError("A transfer record holds an owner below 256 characters and at most 8192 bytes");
    std::string record(kTransferRecordSize, '\0');
    std::memcpy(record.data(), owner.data(), owner.size());
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
    out.owner.assign(owner.substr(0, end));
    out.block.assign(body.substr(blockOffset, length));
    return true;
}

}  // namespace vorlan

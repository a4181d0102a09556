// Base64 coding of binary blocks (RFC 4648 alphabet, "=" padding, one line). Decoding
// skips foreign characters but insists on a total length that is a multiple of 4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlan {

// Base64Encode: the base64 text of length bytes; empty for null data, a length below 1,
// or when the memory cannot be had.
std::string Base64Encode(const void* data, std::int32_t length);
// Base64Decode: the bytes of a base64 text, read up to the first "=" with foreign characters
// skipped; empty when the text is null, its length is not a positive multiple of 4, or no
// byte results.
std::string Base64Decode(const char* text, std::int32_t length);
// Base64DecodeLines: Base64Decode of a zero-terminated text whose line breaks, spaces and
// tabs are left out (mail clients wrap text); empty when more than maxCharacters others
// remain or the text runs on beyond twice that.
std::string Base64DecodeLines(const char* text, std::size_t maxCharacters);

}  // namespace vorlan

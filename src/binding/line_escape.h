// Control bytes inside the values of texts that are read line by line or field by field
// (subject lines, reports): each is written as "\" and two upper-case hex digits, the form
// OpenSSL's name printing uses for them, so no value can end its line or hide a NUL. Other
// bytes stay as they are, so texts without control bytes keep every byte.
#pragma once

#include <string>
#include <string_view>

namespace mpro {

// IsControlByte: a byte below space, or DEL.
constexpr bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// AppendHexEscape: "\" and the byte as two upper-case hex digits.
inline void AppendHexEscape(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '\\';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// EscapeControlBytes: the value with each control byte escaped.
inline std::string EscapeControlBytes(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (IsControlByte(static_cast<unsigned char>(c))) AppendHexEscape(out, static_cast<unsigned char>(c));
        else out += c;
    }
    return out;
}

}  // namespace mpro

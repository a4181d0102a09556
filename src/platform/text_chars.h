// Characters of 8-bit texts: UTF-8 read and written one character at a time, and the one
// case rule for comparing names: the simple upper case of Latin, Greek and Cyrillic letters
// (Ё/ё included). Header only, without OS services: the toolkit uses it too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlan::chars {

// kRawByte: a byte that does not belong to a character reads as kRawByte + byte, a value no
// character has (the low surrogates), so such bytes compare only with themselves.
inline constexpr char32_t kRawByte = 0xDC00;

// NextUtf8: the character of text at pos (advanced past it); a byte that does not start a
// well-formed sequence (overlong, surrogate, above U+10FFFF, cut short) is a raw byte.
inline char32_t NextUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) length = 1, c = lead;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2, c = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, c = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, c = lead & 0x07;
    bool ok = length > 0 && pos + length <= text.size();
    for (std::size_t k = 1; ok && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        ok = (next & 0xC0) == 0x80;
        c = (c << 6) | (next & 0x3F);
    }
    if (ok && ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (length == 4 && (c < 0x10000 || c > 0x10FFFF))))
        ok = false;
    if (!ok) {
        ++pos;
        return kRawByte + lead;
    }
    pos += length;
    return c;
}

// DecodeUtf8 / EncodeUtf8: a UTF-8 text as characters and back; raw bytes come back as they were.
inline std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) out += NextUtf8(text, pos);
    return out;
}

inline std::string EncodeUtf8(std::u32string_view chars) {
    std::string out;
    out.reserve(chars.size());
    for (char32_t c : chars) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c >= kRawByte + 0x80 && c <= kRawByte + 0xFF) {
            out += static_cast<char>(c - kRawByte);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UpperCase: the upper-case letter of a lower-case Latin, Greek or Cyrillic one, any other
// character as it is. Both forms of every pair take the same number of bytes in UTF-8.
constexpr char32_t UpperCase(char32_t c) {
    const bool odd = (c & 1) != 0;
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c < 0x100) return (c >= 0xE0 && c <= 0xFE && c != 0xF7) ? c - 0x20 : c == 0xFF ? 0x178 : c;
    if (c < 0x180) {  // Latin Extended-A: pairs, upper case first
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return odd ? c : c - 1;
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return odd ? c - 1 : c;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // Greek, final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // а..я
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;  // ѐ..џ, ё among them
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) return odd ? c - 1 : c;
    if (c >= 0x4C1 && c <= 0x4CE) return odd ? c : c - 1;
    if (c == 0x4CF) return 0x4C0;
    return c;
}

// IsAscii: whether a text holds bytes below 0x80 only (the same characters in every code page).
inline bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// SameUtf8NoCase: whether two UTF-8 texts hold the same characters without regard to case.
// Both forms of a letter take the same bytes, so the two texts stay in step.
inline bool SameUtf8NoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0, j = 0; i < a.size();) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
        if (x < 0x80 && (x == y || (y < 0x80 && UpperCase(x) == UpperCase(y)))) {  // ASCII: no decoding
            ++i, ++j;
        } else if (x < 0x80 && y < 0x80) {
            return false;
        } else if (UpperCase(NextUtf8(a, i)) != UpperCase(NextUtf8(b, j)) || i != j) {
            return false;
        }
    }
    return true;
}

}  // namespace vorlan::chars

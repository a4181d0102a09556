// Base64 coding with table lookups; the decoder takes four characters at a time while
// they are all in the alphabet and falls back to one at a time otherwise.
#include "binding/base64.h"

#include <array>
#include <new>

namespace vorlan {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kForeign = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) entry = kForeign;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    table[static_cast<unsigned char>('=')] = kPad;
    return table;
}
constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(const void* data, std::int32_t length) {
    std::string out;
    if (data == nullptr || length < 1) return out;
    const auto* in = static_cast<const unsigned char*>(data);
    const auto n = static_cast<std::size_t>(length);
    try {
        out.resize((n + 2) / 3 * 4);
    } catch (const std::bad_alloc&) {
        return std::string();
    }
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3, o += 4) {
        const std::uint32_t v = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 63];
        o[2] = kAlphabet[(v >> 6) & 63];
        o[3] = kAlphabet[v & 63];
    }
    if (const std::size_t rest = n - i; rest > 0) {
        std::uint32_t v = std::uint32_t{in[i]} << 16;
        if (rest == 2) v |= std::uint32_t{in[i + 1]} << 8;
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 63];
        o[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        o[3] = '=';
    }
    return out;
}

std::string Base64Decode(const char* text, std::int32_t length) {
    std::string out;
    if (text == nullptr || length <= 0 || length % 4 != 0) return out;
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    const auto n = static_cast<std::size_t>(length);
    try {
        out.resize(n / 4 * 3);
    } catch (const std::bad_alloc&) {
        return std::string();
    }
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    std::size_t written = 0;
    std::uint32_t bits = 0;
    int count = 0;  // characters collected in bits
    std::size_t i = 0;
    while (i < n) {
        // Fast path: four alphabet characters at a group boundary give three bytes.
        if (count == 0 && i + 4 <= n) {
            const std::uint8_t a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]],
                               d = kDecode[in[i + 3]];
            if ((a | b | c | d) < 64) {
                const std::uint32_t v = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6) | d;
                o[written] = static_cast<unsigned char>(v >> 16);
                o[written + 1] = static_cast<unsigned char>(v >> 8);
                o[written + 2] = static_cast<unsigned char>(v);
                written += 3;
                i += 4;
                continue;
            }
        }
        const std::uint8_t value = kDecode[in[i++]];
        if (value == kPad) break;
        if (value == kForeign) continue;
        bits = (bits << 6) | value;
        if (++count == 4) {
            o[written] = static_cast<unsigned char>(bits >> 16);
            o[written + 1] = static_cast<unsigned char>(bits >> 8);
            o[written + 2] = static_cast<unsigned char>(bits);
            written += 3;
            bits = 0;
            count = 0;
        }
    }
    // Leftover characters give whole bytes only: 3 characters 2 bytes, 2 characters 1 byte.
    if (count == 3) {
        o[written] = static_cast<unsigned char>(bits >> 10);
        o[written + 1] = static_cast<unsigned char>(bits >> 2);
        written += 2;
    } else if (count == 2) {
        o[written] = static_cast<unsigned char>(bits >> 4);
        written += 1;
    }
    out.resize(written);
    return out;
}

std::string Base64DecodeLines(const char* text, std::size_t maxCharacters) {
    if (text == nullptr) return {};
    std::string compact;
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            if (i > 2 * maxCharacters) return {};
        } else if (compact.size() == maxCharacters) {
            return {};
        } else {
            compact += c;
        }
    }
    return Base64Decode(compact.data(), static_cast<std::int32_t>(compact.size()));
}

}  // namespace vorlan

// A plain, literal implementation of the Base64 cores: one character at a time, with
// the decoder writing one byte ahead into a zero-filled buffer and checking the
// trailing bits there. The differential test and the fuzzer hold the library to its
// answers; the benchmark measures the library against it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace waterline::reference {

inline constexpr std::string_view kStandardChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::string_view kWebSafeChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

inline bool isWhitespace(std::uint8_t b)
{
    return (b >= 9 && b <= 13) || b == 32 || b == 160 || b == 255;
}

inline std::size_t encodedLength(std::size_t length, bool padded)
{
    const std::size_t n = (8 * length + 5) / 6;
    return padded ? (n + 3) / 4 * 4 : n;
}

inline std::size_t encodeCore(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dest, std::size_t destLen,
                              std::string_view chars, bool padded)
{
    if (srcLen == 0 || destLen == 0 || src == nullptr || dest == nullptr)
        return 0;
    std::uint8_t* out = dest;
    for (; srcLen >= 3; srcLen -= 3, src += 3) {
        *out++ = chars[src[0] >> 2];
        *out++ = chars[((src[0] & 0x03) << 4) | (src[1] >> 4)];
        *out++ = chars[((src[1] & 0x0F) << 2) | (src[2] >> 6)];
        *out++ = chars[src[2] & 0x3F];
    }
    if (srcLen == 2) {
        *out++ = chars[src[0] >> 2];
        *out++ = chars[((src[0] & 0x03) << 4) | (src[1] >> 4)];
        *out++ = chars[(src[1] & 0x0F) << 2];
        if (padded)
            *out++ = '=';
    } else if (srcLen == 1) {
        *out++ = chars[src[0] >> 2];
        *out++ = chars[(src[0] & 0x03) << 4];
        if (padded) {
            *out++ = '=';
            *out++ = '=';
        }
    }
    return static_cast<std::size_t>(out - dest);
}

using DecodeTable = std::array<std::uint8_t, 256>;

inline DecodeTable decodeTable(std::string_view chars)
{
    DecodeTable table;
    table.fill(99);
    for (int v = 0; v < 64; ++v)
        table[static_cast<unsigned char>(chars[v])] = static_cast<std::uint8_t>(v);
    return table;
}

// `dest` must be zero-filled and hold (srcLen + 3) / 4 * 3 bytes.
inline std::size_t decodeCore(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dest, std::size_t destLen,
                              const DecodeTable& table, bool requirePadding)
{
    if (srcLen == 0 || destLen == 0 || src == nullptr || dest == nullptr)
        return 0;
    std::size_t i = 0;
    int state = 0;
    std::uint8_t b = 0;
    while (srcLen-- > 0) {
        b = *src++;
        if (b == 0 || b == '=')
            break;
        if (isWhitespace(b))
            continue;
        const std::uint8_t v = table[b];
        if (v == 99)
            return 0;
        switch (state) {
        case 0:
            dest[i] = static_cast<std::uint8_t>(v << 2);
            state = 1;
            break;
        case 1:
            dest[i] |= static_cast<std::uint8_t>(v >> 4);
            dest[i + 1] = static_cast<std::uint8_t>((v & 0x0F) << 4);
            ++i;
            state = 2;
            break;
        case 2:
            dest[i] |= static_cast<std::uint8_t>(v >> 2);
            dest[i + 1] = static_cast<std::uint8_t>((v & 0x03) << 6);
            ++i;
            state = 3;
            break;
        case 3:
            dest[i] |= v;
            ++i;
            state = 0;
            break;
        }
        b = 0x7F; // the loop did not stop on this byte
    }
    if (b == '=') {
        // srcLen now counts the bytes after the '='.
        if (state < 2)
            return 0;
        if (srcLen == 0 && state == 2)
            return 0;
        if (srcLen > 0 && state == 2) {
            while (srcLen > 0 && isWhitespace(*src)) {
                ++src;
                --srcLen;
            }
            if (srcLen == 0 || *src != '=')
                return 0;
            ++src;
            --srcLen;
        }
        for (; srcLen > 0 && *src != 0; ++src, --srcLen)
            if (!isWhitespace(*src))
                return 0;
    } else if (requirePadding ? state != 0 : state == 1) {
        return 0;
    }
    if (i < destLen && dest[i] != 0)
        return 0;
    return i;
}

inline std::optional<std::vector<std::uint8_t>> encode(const std::vector<std::uint8_t>& src, std::string_view chars,
                                                       bool padded)
{
    std::vector<std::uint8_t> out(encodedLength(src.size(), padded));
    if (encodeCore(src.data(), src.size(), out.data(), out.size(), chars, padded) == 0)
        return std::nullopt;
    return out;
}

inline std::optional<std::vector<std::uint8_t>> decode(const std::uint8_t* src, std::size_t length,
                                                       std::string_view chars, bool requirePadding)
{
    std::vector<std::uint8_t> out((length + 3) / 4 * 3);
    const std::size_t written = decodeCore(src, length, out.data(), out.size(), decodeTable(chars), requirePadding);
    if (written == 0)
        return std::nullopt;
    out.resize(written);
    return out;
}

} // namespace waterline::reference

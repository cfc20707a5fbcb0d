// A plain, literal implementation of the Base64 cores: one character at a time, the
// decoder writing one byte ahead into a zero-filled buffer and checking the trailing
// bits there. The differential test and the fuzzer hold the library to its answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace waterline::reference {

inline constexpr std::string_view kStandardChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::string_view kWebSafeChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

inline bool isWhitespace(std::uint8_t b)
{
    return (b >= 9 && b <= 13) || b == 32 || b == 160 || b == 255;
}

inline std::optional<std::vector<std::uint8_t>> encode(const std::vector<std::uint8_t>& src, std::string_view chars,
                                                       bool padded)
{
    if (src.empty())
        return std::nullopt;
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    for (; src.size() - i >= 3; i += 3) {
        out.push_back(chars[src[i] >> 2]);
        out.push_back(chars[((src[i] & 0x03) << 4) | (src[i + 1] >> 4)]);
        out.push_back(chars[((src[i + 1] & 0x0F) << 2) | (src[i + 2] >> 6)]);
        out.push_back(chars[src[i + 2] & 0x3F]);
    }
    if (src.size() - i == 2) {
        out.push_back(chars[src[i] >> 2]);
        out.push_back(chars[((src[i] & 0x03) << 4) | (src[i + 1] >> 4)]);
        out.push_back(chars[(src[i + 1] & 0x0F) << 2]);
        if (padded)
            out.push_back('=');
    } else if (src.size() - i == 1) {
        out.push_back(chars[src[i] >> 2]);
        out.push_back(chars[(src[i] & 0x03) << 4]);
        if (padded) {
            out.push_back('=');
            out.push_back('=');
        }
    }
    return out;
}

inline std::optional<std::vector<std::uint8_t>> decode(const std::uint8_t* src, std::size_t length,
                                                       std::string_view chars, bool requirePadding)
{
    if (length == 0)
        return std::nullopt;
    int table[256];
    for (int& entry : table)
        entry = 99;
    for (int v = 0; v < 64; ++v)
        table[static_cast<unsigned char>(chars[v])] = v;

    std::vector<std::uint8_t> dest((length + 3) / 4 * 3, 0);
    std::size_t i = 0, pos = 0;
    int state = 0;
    bool padded = false;
    while (pos < length) {
        const std::uint8_t b = src[pos++];
        if (b == 0)
            break;
        if (isWhitespace(b))
            continue;
        if (b == '=') {
            padded = true;
            break;
        }
        const int v = table[b];
        if (v == 99)
            return std::nullopt;
        switch (state) {
        case 0: dest.at(i) = static_cast<std::uint8_t>(v << 2); state = 1; break;
        case 1:
            dest.at(i) |= static_cast<std::uint8_t>(v >> 4);
            dest.at(i + 1) = static_cast<std::uint8_t>((v & 0x0F) << 4);
            ++i;
            state = 2;
            break;
        case 2:
            dest.at(i) |= static_cast<std::uint8_t>(v >> 2);
            dest.at(i + 1) = static_cast<std::uint8_t>((v & 0x03) << 6);
            ++i;
            state = 3;
            break;
        case 3: dest.at(i) |= static_cast<std::uint8_t>(v); ++i; state = 0; break;
        }
    }
    if (padded) {
        if (state < 2)
            return std::nullopt;
        if (pos == length && state == 2)
            return std::nullopt;
        if (state == 2) {
            while (pos < length && isWhitespace(src[pos]))
                ++pos;
            if (pos == length || src[pos] != '=')
                return std::nullopt;
            ++pos;
        }
        for (; pos < length && src[pos] != 0; ++pos)
            if (!isWhitespace(src[pos]))
                return std::nullopt;
    } else if (requirePadding ? state != 0 : state == 1) {
        return std::nullopt;
    }
    if (i < dest.size() && dest[i] != 0)
        return std::nullopt;
    if (i == 0)
        return std::nullopt;
    dest.resize(i);
    return dest;
}

} // namespace waterline::reference

// UTF-8 helpers shared by the parser and the writer.
//
// Validation follows the Unicode definition of well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF). It never reads beyond the first byte that breaks
// a sequence, so on NUL-terminated text it cannot run past the terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace waterline::detail {

// Positive: the length of the well-formed sequence at p. Negative: minus the length of
// the longest prefix of a sequence found at p before it broke (at least one byte), the
// part to replace by one U+FFFD. At most `available` bytes are looked at.
inline int utf8Sequence(const unsigned char* p, std::size_t available)
{
    unsigned char lead = p[0];
    int continuation;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return -1;
    }
    if (available < 2 || p[1] < low || p[1] > high)
        return -1;
    for (int i = 2; i <= continuation; ++i)
        if (available <= static_cast<std::size_t>(i) || p[i] < 0x80 || p[i] > 0xBF)
            return -i;
    return continuation + 1;
}

inline void appendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD"; // U+FFFD

} // namespace waterline::detail

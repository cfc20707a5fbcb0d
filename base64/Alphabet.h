// The two Base64 alphabets with their decode tables, and the whitespace table.
//
// A decode table maps every byte, taken as unsigned, to its 6-bit value, or to
// kInvalid for a byte outside the alphabet: '=', NUL, whitespace and every byte from
// 128 up all map to kInvalid, so one lookup tells the common case from the rest.
// Whitespace is fixed by a table of its own and never depends on a locale.
#pragma once

#include <array>
#include <cstdint>

namespace waterline {

inline constexpr std::uint8_t kInvalid = 99;
inline constexpr std::uint8_t kPad = '=';

struct Alphabet {
    std::array<char, 64> chars;           // 6-bit value -> character
    std::array<std::uint8_t, 256> decode; // byte -> 6-bit value or kInvalid

    // The two characters that differ between the alphabets, for the vector code.
    char char62() const { return chars[62]; }
    char char63() const { return chars[63]; }
};

extern const Alphabet kStandardAlphabet;
extern const Alphabet kWebSafeAlphabet;

// Tab, line feed, vertical tab, form feed, carriage return, space, 160 and 255.
extern const std::array<bool, 256> kWhitespace;

} // namespace waterline

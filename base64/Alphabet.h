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

// Tables for the vector decoders, indexed by the high or the low four bits of a byte.
// A byte is outside the alphabet exactly when low[its low bits] & high[its high bits]
// is not zero: each distinct set of valid low halves (one per high half) gets a bit.
// offset[high bits] turns a character into its value, except for characters 62 and
// 63, which the decoders handle on their own.
struct NibbleTables {
    std::array<std::int8_t, 16> low;
    std::array<std::int8_t, 16> high;
    std::array<std::int8_t, 16> offset;
};

struct Alphabet {
    std::array<char, 64> chars;           // 6-bit value -> character
    std::array<std::uint8_t, 256> decode; // byte -> 6-bit value or kInvalid
    NibbleTables nibbles;

    // The two characters that differ between the alphabets, for the vector code.
    char char62() const { return chars[62]; }
    char char63() const { return chars[63]; }
};

extern const Alphabet kStandardAlphabet;
extern const Alphabet kWebSafeAlphabet;

// Tab, line feed, vertical tab, form feed, carriage return, space, 160 and 255.
extern const std::array<bool, 256> kWhitespace;

} // namespace waterline

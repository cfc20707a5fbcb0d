// Builds the tables at compile time from the 64 characters of each alphabet.
#include "Alphabet.h"

#include <string_view>

namespace waterline {

namespace {

constexpr NibbleTables makeNibbleTables(const std::array<std::uint8_t, 256>& decode, char char62, char char63)
{
    NibbleTables tables{};
    std::array<std::uint16_t, 8> rowKinds{}; // the distinct sets of valid low halves
    int kinds = 0;
    for (int high = 0; high < 16; ++high) {
        std::uint16_t validLows = 0;
        for (int low = 0; low < 16; ++low) {
            const int byte = high << 4 | low;
            if (decode[byte] == kInvalid)
                continue;
            validLows = static_cast<std::uint16_t>(validLows | 1u << low);
            if (byte != static_cast<unsigned char>(char62) && byte != static_cast<unsigned char>(char63)) {
                const int offset = decode[byte] - byte;
                if (tables.offset[high] != 0 && tables.offset[high] != offset)
                    throw "characters sharing their high bits need one offset";
                tables.offset[high] = static_cast<std::int8_t>(offset);
            }
        }
        int kind = 0;
        while (kind < kinds && rowKinds[kind] != validLows)
            ++kind;
        if (kind == kinds) {
            if (kinds == 8)
                throw "more than eight kinds of rows";
            rowKinds[kinds++] = validLows;
        }
        tables.high[high] = static_cast<std::int8_t>(1u << kind);
    }
    for (int low = 0; low < 16; ++low)
        for (int kind = 0; kind < kinds; ++kind)
            if (!(rowKinds[kind] & 1u << low))
                tables.low[low] = static_cast<std::int8_t>(tables.low[low] | 1u << kind);
    return tables;
}

constexpr Alphabet makeAlphabet(std::string_view chars)
{
    Alphabet alphabet{};
    alphabet.decode.fill(kInvalid);
    for (std::size_t value = 0; value < 64; ++value) {
        alphabet.chars[value] = chars[value];
        alphabet.decode[static_cast<unsigned char>(chars[value])] = static_cast<std::uint8_t>(value);
    }
    alphabet.nibbles = makeNibbleTables(alphabet.decode, chars[62], chars[63]);
    return alphabet;
}

constexpr std::array<bool, 256> makeWhitespace()
{
    std::array<bool, 256> table{};
    for (int byte : {9, 10, 11, 12, 13, 32, 160, 255})
        table[byte] = true;
    return table;
}

} // namespace

constexpr Alphabet kStandardAlphabet = makeAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
constexpr Alphabet kWebSafeAlphabet = makeAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
constexpr std::array<bool, 256> kWhitespace = makeWhitespace();

} // namespace waterline

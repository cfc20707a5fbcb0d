// Builds the tables at compile time from the 64 characters of each alphabet.
#include "Alphabet.h"

#include <string_view>

namespace waterline {

namespace {

constexpr Alphabet makeAlphabet(std::string_view chars)
{
    Alphabet alphabet{};
    alphabet.decode.fill(kInvalid);
    for (std::size_t value = 0; value < 64; ++value) {
        alphabet.chars[value] = chars[value];
        alphabet.decode[static_cast<unsigned char>(chars[value])] = static_cast<std::uint8_t>(value);
    }
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

constexpr Alphabet kStandardAlphabet =
    makeAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
constexpr Alphabet kWebSafeAlphabet =
    makeAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
constexpr std::array<bool, 256> kWhitespace = makeWhitespace();

} // namespace waterline

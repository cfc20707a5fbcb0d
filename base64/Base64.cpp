// Every public operation is a thin front for one of four operations: an allocating
// encoder and decoder, and the encoding and decoding cores they run. The cores take
// the alphabet as an argument, so the standard and web-safe operations share them.
#include <waterline/base64/Base64.h>

#include "Alphabet.h"
#include "BlockCodec.h"
#include "DecodeMachine.h"

#include <algorithm>

namespace waterline {

namespace {

// Exact: a character per started six bits, rounded up to a multiple of four when
// padded. Computed in size_t, so that no input length can overflow it.
std::size_t encodedLength(std::size_t length, bool padded)
{
    const std::size_t remainder = length % 3;
    const std::size_t full = length / 3 * 4;
    if (remainder == 0)
        return full;
    return full + (padded ? 4 : remainder + 1);
}

// An upper bound: whitespace and padding make the real result shorter.
std::size_t decodedLengthBound(std::size_t length)
{
    return length / 4 * 3 + (length % 4 == 0 ? 0 : 3);
}

// The encoding core. Returns the number of characters written, 0 on failure: an
// empty input, or a destination shorter than the encoded length.
std::size_t baseEncode(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* destBytes, std::size_t destLen,
                       const Alphabet& charset, bool padded)
{
    if (src == nullptr || destBytes == nullptr || srcLen == 0 || destLen < encodedLength(srcLen, padded))
        return 0;
    const std::size_t whole = blockCodecFor(activeSimdLevel()).encode(src, srcLen, destBytes, charset);
    std::uint8_t* out = destBytes + whole / 3 * 4;
    const std::uint8_t* rest = src + whole;
    const char* chars = charset.chars.data();
    switch (srcLen - whole) {
    case 2:
        *out++ = chars[rest[0] >> 2];
        *out++ = chars[((rest[0] & 0x03) << 4) | (rest[1] >> 4)];
        *out++ = chars[(rest[1] & 0x0F) << 2];
        if (padded)
            *out++ = kPad;
        break;
    case 1:
        *out++ = chars[rest[0] >> 2];
        *out++ = chars[(rest[0] & 0x03) << 4];
        if (padded) {
            *out++ = kPad;
            *out++ = kPad;
        }
        break;
    }
    return static_cast<std::size_t>(out - destBytes);
}

// The decoding core. Returns the number of bytes written, 0 on failure or when the
// text holds no byte. The destination must hold decodedLengthBound(srcLen) bytes.
std::size_t baseDecode(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* destBytes, std::size_t destLen,
                       const Alphabet& charset, bool requirePadding)
{
    if (src == nullptr || destBytes == nullptr || srcLen == 0 || destLen < decodedLengthBound(srcLen))
        return 0;
    DecodeMachine machine(charset, requirePadding);
    const std::size_t written = machine.run(src, srcLen, destBytes, destLen);
    return machine.finish() ? written : 0;
}

// The allocating encoder, writing straight into the container it returns.
template <typename Container>
std::optional<Container> baseEncode(Base64::Bytes bytes, const Alphabet& charset, bool padded)
{
    Container encoded(encodedLength(bytes.size(), padded), '\0');
    const std::size_t written = baseEncode(bytes.data(), bytes.size(), reinterpret_cast<std::uint8_t*>(encoded.data()),
                                           encoded.size(), charset, padded);
    if (written == 0)
        return std::nullopt;
    return encoded;
}

std::optional<Base64::Data> baseDecode(Base64::Bytes bytes, const Alphabet& charset, bool requirePadding)
{
    Base64::Data decoded(decodedLengthBound(bytes.size()));
    const std::size_t written
        = baseDecode(bytes.data(), bytes.size(), decoded.data(), decoded.size(), charset, requirePadding);
    if (written == 0)
        return std::nullopt;
    decoded.resize(written);
    return decoded;
}

// Strings are taken as ASCII: any other character makes the text undecodable.
std::optional<Base64::Bytes> asciiBytes(std::string_view string)
{
    const bool ascii
        = std::all_of(string.begin(), string.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii)
        return std::nullopt;
    return Base64::Bytes(reinterpret_cast<const std::uint8_t*>(string.data()), string.size());
}

constexpr bool kAlwaysPadded = true;
constexpr bool kPaddingRequired = true;
constexpr bool kPaddingOptional = false;

} // namespace

std::optional<Base64::Data> Base64::encodeData(const Data& data)
{
    return baseEncode<Data>(data, kStandardAlphabet, kAlwaysPadded);
}

std::optional<Base64::Data> Base64::encodeBytes(Bytes bytes)
{
    return baseEncode<Data>(bytes, kStandardAlphabet, kAlwaysPadded);
}

std::optional<std::string> Base64::stringByEncodingData(const Data& data)
{
    return baseEncode<std::string>(data, kStandardAlphabet, kAlwaysPadded);
}

std::optional<std::string> Base64::stringByEncodingBytes(Bytes bytes)
{
    return baseEncode<std::string>(bytes, kStandardAlphabet, kAlwaysPadded);
}

std::optional<Base64::Data> Base64::decodeData(const Data& data)
{
    return baseDecode(data, kStandardAlphabet, kPaddingRequired);
}

std::optional<Base64::Data> Base64::decodeBytes(Bytes bytes)
{
    return baseDecode(bytes, kStandardAlphabet, kPaddingRequired);
}

std::optional<Base64::Data> Base64::decodeString(std::string_view string)
{
    const auto bytes = asciiBytes(string);
    return bytes ? baseDecode(*bytes, kStandardAlphabet, kPaddingRequired) : std::nullopt;
}

std::optional<Base64::Data> Base64::webSafeEncodeData(const Data& data, Padding padded)
{
    return baseEncode<Data>(data, kWebSafeAlphabet, padded == Padding::Written);
}

std::optional<Base64::Data> Base64::webSafeEncodeBytes(Bytes bytes, Padding padded)
{
    return baseEncode<Data>(bytes, kWebSafeAlphabet, padded == Padding::Written);
}

std::optional<std::string> Base64::stringByWebSafeEncodingData(const Data& data, Padding padded)
{
    return baseEncode<std::string>(data, kWebSafeAlphabet, padded == Padding::Written);
}

std::optional<std::string> Base64::stringByWebSafeEncodingBytes(Bytes bytes, Padding padded)
{
    return baseEncode<std::string>(bytes, kWebSafeAlphabet, padded == Padding::Written);
}

std::optional<Base64::Data> Base64::webSafeDecodeData(const Data& data)
{
    return baseDecode(data, kWebSafeAlphabet, kPaddingOptional);
}

std::optional<Base64::Data> Base64::webSafeDecodeBytes(Bytes bytes)
{
    return baseDecode(bytes, kWebSafeAlphabet, kPaddingOptional);
}

std::optional<Base64::Data> Base64::webSafeDecodeString(std::string_view string)
{
    const auto bytes = asciiBytes(string);
    return bytes ? baseDecode(*bytes, kWebSafeAlphabet, kPaddingOptional) : std::nullopt;
}

} // namespace waterline

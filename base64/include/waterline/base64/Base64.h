// Base64 text in two alphabets: the standard one ('+' and '/', always padded with '=')
// and the web-safe one ('-' and '_', padding optional). The codec keeps no state, so
// every operation is static and any thread may call any of them at any time.
//
//   std::optional<std::string> text = Base64::stringByEncodingBytes(bytes);  // {0x4D} -> "TQ=="
//   std::optional<Base64::Data> raw = Base64::decodeString("TQ==");          // {0x4D}
//   auto token = Base64::stringByWebSafeEncodingData(data, Base64::Padding::Omitted);
//   if (!raw)
//       reject(); // bad text, or text that decodes to no bytes at all
//
// Failure is never an error code or an exception: the operation simply gives no
// result. An encoding or decoding that produces zero bytes gives no result as well,
// so an empty input, or one holding only whitespace, cannot be told from bad input.
//
// Decoding skips whitespace anywhere (bytes 9-13, 32, 160 and 255), stops at a NUL
// byte, and rejects a character outside the alphabet, a misplaced or missing '=',
// anything but whitespace after the padding, and a last character whose bits beyond
// the decoded bytes are set.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace waterline {

class Base64 {
public:
    using Bytes = std::span<const std::uint8_t>;
    using Data = std::vector<std::uint8_t>;

    // Whether the web-safe encoders end the text with '=' up to a multiple of four.
    enum class Padding : bool { Omitted = false, Written = true };

    Base64() = delete;

    // Standard alphabet, padding always written.
    static std::optional<Data> encodeData(const Data& data);
    static std::optional<Data> encodeBytes(Bytes bytes);
    static std::optional<std::string> stringByEncodingData(const Data& data);
    static std::optional<std::string> stringByEncodingBytes(Bytes bytes);

    // Standard alphabet, padding required. A string holding any non-ASCII character
    // gives no result.
    static std::optional<Data> decodeData(const Data& data);
    static std::optional<Data> decodeBytes(Bytes bytes);
    static std::optional<Data> decodeString(std::string_view string);

    // Web-safe alphabet, padding written when asked for.
    static std::optional<Data> webSafeEncodeData(const Data& data, Padding padded);
    static std::optional<Data> webSafeEncodeBytes(Bytes bytes, Padding padded);
    static std::optional<std::string> stringByWebSafeEncodingData(const Data& data, Padding padded);
    static std::optional<std::string> stringByWebSafeEncodingBytes(Bytes bytes, Padding padded);

    // Web-safe alphabet, padding optional.
    static std::optional<Data> webSafeDecodeData(const Data& data);
    static std::optional<Data> webSafeDecodeBytes(Bytes bytes);
    static std::optional<Data> webSafeDecodeString(std::string_view string);
};

} // namespace waterline

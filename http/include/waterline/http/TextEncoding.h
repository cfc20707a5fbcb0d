// Text-encoding identifiers for response bodies, and conversion of bytes in one of
// them to UTF-8 (through iconv). The numbers are stable identifiers; 5 is ISO Latin 1,
// the default of a response that names no usable charset.
//
//     auto encoding = textEncodingForCharsetName("utf-8");   // kUTF8TextEncoding
//     auto text = decodeText(body, encoding.value_or(kISOLatin1TextEncoding));
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace waterline {

using TextEncoding = std::uint32_t;

inline constexpr TextEncoding kASCIITextEncoding = 1;
inline constexpr TextEncoding kJapaneseEUCTextEncoding = 3;
inline constexpr TextEncoding kUTF8TextEncoding = 4;
inline constexpr TextEncoding kISOLatin1TextEncoding = 5;
inline constexpr TextEncoding kShiftJISTextEncoding = 8;
inline constexpr TextEncoding kISOLatin2TextEncoding = 9;
inline constexpr TextEncoding kUTF16TextEncoding = 10;
inline constexpr TextEncoding kWindowsCP1251TextEncoding = 11;
inline constexpr TextEncoding kWindowsCP1252TextEncoding = 12;
inline constexpr TextEncoding kWindowsCP1253TextEncoding = 13;
inline constexpr TextEncoding kWindowsCP1254TextEncoding = 14;
inline constexpr TextEncoding kWindowsCP1250TextEncoding = 15;
inline constexpr TextEncoding kISO2022JPTextEncoding = 21;

// The encoding an IANA charset name stands for (any case); none when unknown.
std::optional<TextEncoding> textEncodingForCharsetName(std::string_view name);

// `bytes` in `encoding` as UTF-8; none when they are not valid in it.
std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, TextEncoding encoding);

} // namespace waterline

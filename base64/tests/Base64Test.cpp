// The codec's answers for the cases that matter: lengths, both alphabets, padding,
// whitespace, NUL, trailing bits, and the ASCII rule of the string operations.
#include <waterline/base64/Base64.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace waterline {
namespace {

using Data = Base64::Data;

Data bytesOf(std::string_view text)
{
    return Data(text.begin(), text.end());
}

std::string textOf(const std::optional<Data>& data)
{
    return data ? std::string(data->begin(), data->end()) : std::string("<none>");
}

TEST(Base64, EncodesExactLengthsInBothAlphabets)
{
    struct Case {
        std::string input, standard, webSafePadded, webSafeUnpadded;
    };
    const Case cases[] = {
        {"M", "TQ==", "TQ==", "TQ"},
        {"Ma", "TWE=", "TWE=", "TWE"},
        {"Man", "TWFu", "TWFu", "TWFu"},
        {"Many", "TWFueQ==", "TWFueQ==", "TWFueQ"},
        {"\xFB\xFF\xBF", "+/+/", "-_-_", "-_-_"},
        {std::string("\0\0\0\0", 4), "AAAAAA==", "AAAAAA==", "AAAAAA"},
    };
    for (const Case& c : cases) {
        const Data input = bytesOf(c.input);
        EXPECT_EQ(textOf(Base64::encodeData(input)), c.standard);
        EXPECT_EQ(textOf(Base64::encodeBytes(input)), c.standard);
        EXPECT_EQ(Base64::stringByEncodingData(input), c.standard);
        EXPECT_EQ(Base64::stringByEncodingBytes(input), c.standard);
        EXPECT_EQ(textOf(Base64::webSafeEncodeData(input, Base64::Padding::Written)), c.webSafePadded);
        EXPECT_EQ(textOf(Base64::webSafeEncodeBytes(input, Base64::Padding::Omitted)), c.webSafeUnpadded);
        EXPECT_EQ(Base64::stringByWebSafeEncodingData(input, Base64::Padding::Omitted), c.webSafeUnpadded);
        EXPECT_EQ(Base64::stringByWebSafeEncodingBytes(input, Base64::Padding::Written), c.webSafePadded);
    }
}

TEST(Base64, EmptyInputGivesNone)
{
    const Data empty;
    EXPECT_FALSE(Base64::encodeData(empty));
    EXPECT_FALSE(Base64::stringByEncodingBytes({}));
    EXPECT_FALSE(Base64::webSafeEncodeBytes({}, Base64::Padding::Written));
    EXPECT_FALSE(Base64::stringByWebSafeEncodingData(empty, Base64::Padding::Omitted));
    EXPECT_FALSE(Base64::decodeData(empty));
    EXPECT_FALSE(Base64::decodeString(""));
    EXPECT_FALSE(Base64::webSafeDecodeBytes({}));
    EXPECT_FALSE(Base64::webSafeDecodeString(""));
}

TEST(Base64, DecodesPaddingWhitespaceNulAndTrailingBits)
{
    using namespace std::string_literals;
    struct Case {
        std::string input, standard, webSafe;
    };
    const std::string none = "<none>";
    const Case cases[] = {
        {"TQ==", "M", "M"},
        {"TQ", none, "M"},     // padding required only by the standard decoder
        {"TQ=", none, none},   // second '=' missing
        {"TQ===", none, none}, // more than whitespace after the padding
        {"TQ==x", none, none},
        {"TQ==TQ==", none, none}, // text after the padding
        {"TQ== \n", "M", "M"},
        {"T Q\t=\r\n=", "M", "M"}, // whitespace inside the group and between the '='
        {"TR==", none, none},      // R is 17: its low four bits are set
        {"QUI=", "AB", "AB"},
        {"QUI", none, "AB"},
        {"QUJ=", none, none},         // J is 9: its low two bits are set
        {"T===", none, none},         // padding after one character
        {"=", none, none},            // padding at the start of a group
        {"T", none, none},            // a single character makes no byte
        {"TQ==\0garbage"s, "M", "M"}, // NUL ends the input
        {"TWFu\0TQ"s, "Man", "Man"},
        {"TQ\0=="s, none, "M"},  // NUL before the padding ends the text unpadded
        {"TQ=\0="s, none, none}, // NUL where the second '=' belongs
        {"TQ== \0x"s, "M", "M"},
        {"QUI= \v\f", "AB", "AB"},
        {"QUI= =", none, none},  // a complete group takes no second '='
        {"\0TQ=="s, none, none}, // nothing before the NUL
        {" \t\n", none, none},   // whitespace only decodes to nothing
        {"TW Fu\n TW Fu", "ManMan", "ManMan"},
        {"+/+/", "\xFB\xFF\xBF", none},
        {"-_-_", none, "\xFB\xFF\xBF"},
        {"TQ\x85=", none, none},    // 133 is not whitespace
        {"TQ\xA0==\xFF", "M", "M"}, // 160 and 255 are
        {"TQ\x80=", none, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const Data input = bytesOf(c.input);
        EXPECT_EQ(textOf(Base64::decodeData(input)), c.standard);
        EXPECT_EQ(textOf(Base64::decodeBytes(input)), c.standard);
        EXPECT_EQ(textOf(Base64::webSafeDecodeData(input)), c.webSafe);
        EXPECT_EQ(textOf(Base64::webSafeDecodeBytes(input)), c.webSafe);
    }
}

TEST(Base64, TablesClassifyEveryByte)
{
    const std::string_view common = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        // Any alphabet character completes the group "QUI?", so only alphabet
        // membership, whitespace and NUL decide between a result and none.
        const Data group = {'Q', 'U', 'I', static_cast<std::uint8_t>(byte), 'A', 'A', 'A', 'A'};
        const bool whitespace = byte == 9 || byte == 10 || byte == 11 || byte == 12 || byte == 13 || byte == 32
            || byte == 160 || byte == 255;
        const bool inBoth = common.find(static_cast<char>(byte)) != std::string_view::npos;
        const bool standardOnly = byte == '+' || byte == '/';
        const bool webSafeOnly = byte == '-' || byte == '_';
        // Skipped as whitespace, the byte leaves seven characters, which only the
        // unpadded web-safe decoder accepts; a NUL leaves "QUI", the same.
        EXPECT_EQ(Base64::decodeData(group).has_value(), inBoth || standardOnly) << "standard";
        EXPECT_EQ(Base64::webSafeDecodeData(group).has_value(), inBoth || webSafeOnly || whitespace || byte == 0)
            << "web-safe";
        const Data spaced = {'T', static_cast<std::uint8_t>(byte), 'Q', '=', '='};
        EXPECT_EQ(Base64::decodeData(spaced).has_value(), whitespace);
    }
}

TEST(Base64, StringsAreTakenAsAscii)
{
    EXPECT_EQ(textOf(Base64::decodeString("TQ==")), "M");
    EXPECT_EQ(textOf(Base64::webSafeDecodeString("TQ")), "M");
    // 160 is whitespace as a byte, but a string holding it is not ASCII.
    EXPECT_EQ(textOf(Base64::decodeBytes(bytesOf("TQ==\xA0"))), "M");
    EXPECT_FALSE(Base64::decodeString("TQ==\xA0"));
    EXPECT_FALSE(Base64::webSafeDecodeString("T\xC3\xA9Q"));
    EXPECT_FALSE(Base64::webSafeDecodeString("TQ\xC2\xA0"));
}

TEST(Base64, RoundTripsEveryLengthAcrossBlockSizes)
{
    Data input;
    for (int length = 1; length <= 200; ++length) {
        input.push_back(static_cast<std::uint8_t>(length * 37 + 11));
        const auto standard = Base64::encodeData(input);
        ASSERT_TRUE(standard);
        EXPECT_EQ(standard->size(), (input.size() + 2) / 3 * 4);
        EXPECT_EQ(Base64::decodeData(*standard), input);
        const auto unpadded = Base64::webSafeEncodeData(input, Base64::Padding::Omitted);
        ASSERT_TRUE(unpadded);
        EXPECT_EQ(unpadded->size(), (8 * input.size() + 5) / 6);
        EXPECT_EQ(Base64::webSafeDecodeData(*unpadded), input);
    }
}

} // namespace
} // namespace waterline

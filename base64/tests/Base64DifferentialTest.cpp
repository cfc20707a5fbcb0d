// Holds the fast codec to the plain reference cores over many seeded random inputs:
// valid text and text mutated with whitespace of every kind, NULs, padding in every
// position, the other alphabet's characters and stray bytes, in both alphabets, on
// every vector path this CPU has. The stream decoder, fed the same text cut at
// random places, must agree with the one-shot decoder.
#include "ReferenceBase64.h"
#include "SimdLevel.h"
#include <waterline/base64/Base64.h>
#include <waterline/base64/Base64StreamDecoder.h>

#include <gtest/gtest.h>

#include <random>

namespace waterline {
namespace {

using Data = Base64::Data;

class Differential : public testing::TestWithParam<SimdLevel> {
protected:
    void SetUp() override
    {
        if (GetParam() > supportedSimdLevel())
            GTEST_SKIP() << toString(GetParam()) << " is not supported by this CPU";
        limitSimdLevel(GetParam());
    }
    void TearDown() override { limitSimdLevel(supportedSimdLevel()); }

    Data randomBytes(std::size_t length)
    {
        Data bytes(length);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(m_random());
        return bytes;
    }

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }

    // Short inputs mostly, some long enough for many vector blocks.
    std::size_t randomLength() { return below(8) == 0 ? below(2000) : below(120); }

    // Valid text of either alphabet, then a few insertions or replacements.
    Data randomText(bool webSafe)
    {
        const std::size_t length = randomLength() + 1;
        const bool padded = !webSafe || below(2) == 0;
        const auto encoded = reference::encode(randomBytes(length),
                                               webSafe ? reference::kWebSafeChars : reference::kStandardChars, padded);
        Data text = *encoded;
        static constexpr std::uint8_t kSpecial[]
            = {9, 10, 11, 12, 13, 32, 160, 255, 0, '=', '+', '/', '-', '_', 133, 128, '*', 'A', 'Q', 'g', 'w', '8'};
        const std::size_t edits = below(4) == 0 ? 0 : below(6);
        for (std::size_t e = 0; e < edits; ++e) {
            const std::uint8_t byte
                = below(8) == 0 ? static_cast<std::uint8_t>(m_random()) : kSpecial[below(std::size(kSpecial))];
            const std::size_t at = below(text.size() + 1);
            switch (below(3)) {
            case 0:
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), byte);
                break;
            case 1:
                if (at < text.size())
                    text[at] = byte;
                break;
            case 2:
                if (at < text.size())
                    text.resize(at);
                break;
            }
        }
        // Wrapped lines, as tools write them.
        if (below(5) == 0) {
            const std::size_t width = 1 + below(80);
            for (std::size_t at = width; at < text.size(); at += width + 1)
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), below(2) ? '\n' : ' ');
        }
        return text;
    }

    std::optional<Data> streamDecode(const Data& text, bool webSafe)
    {
        auto decoder = webSafe ? Base64StreamDecoder::webSafe() : Base64StreamDecoder::standard();
        Data out;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t piece = std::min(text.size() - at, 1 + below(below(2) ? 8 : 100));
            if (!decoder.decode({text.data() + at, piece}, out))
                return std::nullopt;
            at += piece;
        }
        if (!decoder.finish() || decoder.decodedLength() == 0)
            return std::nullopt;
        EXPECT_EQ(decoder.decodedLength(), out.size());
        return out;
    }

    std::mt19937_64 m_random{20261208};
};

TEST_P(Differential, EncodingMatchesReference)
{
    for (int round = 0; round < 1500; ++round) {
        const Data input = randomBytes(randomLength());
        ASSERT_EQ(Base64::encodeData(input), reference::encode(input, reference::kStandardChars, true));
        ASSERT_EQ(Base64::webSafeEncodeBytes(input, Base64::Padding::Omitted),
                  reference::encode(input, reference::kWebSafeChars, false));
        ASSERT_EQ(Base64::webSafeEncodeData(input, Base64::Padding::Written),
                  reference::encode(input, reference::kWebSafeChars, true));
    }
}

TEST_P(Differential, DecodingMatchesReference)
{
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        const Data text = randomText(below(2) == 0);
        const auto standard = reference::decode(text.data(), text.size(), reference::kStandardChars, true);
        const auto webSafe = reference::decode(text.data(), text.size(), reference::kWebSafeChars, false);
        ASSERT_EQ(Base64::decodeData(text), standard) << testing::PrintToString(text);
        ASSERT_EQ(Base64::webSafeDecodeData(text), webSafe) << testing::PrintToString(text);
        ASSERT_EQ(streamDecode(text, false), standard) << testing::PrintToString(text);
        ASSERT_EQ(streamDecode(text, true), webSafe) << testing::PrintToString(text);
        accepted += standard.has_value() + webSafe.has_value();
    }
    // The mutations must leave enough valid text for the comparison to mean something.
    EXPECT_GT(accepted, 2000);
}

// Every byte value in every lane of a vector block, in both alphabets.
TEST_P(Differential, EveryByteInEveryLane)
{
    // 64 characters valid in both alphabets: two AVX2 blocks, four SSSE3 ones.
    const std::string_view common = reference::kStandardChars.substr(0, 62);
    Data base(common.begin(), common.end());
    base.insert(base.end(), {'Q', 'A'});
    for (int byte = 0; byte < 256; ++byte) {
        for (std::size_t lane = 0; lane < base.size(); ++lane) {
            Data text = base;
            text[lane] = static_cast<std::uint8_t>(byte);
            ASSERT_EQ(Base64::decodeData(text),
                      reference::decode(text.data(), text.size(), reference::kStandardChars, true))
                << byte << " at " << lane;
            ASSERT_EQ(Base64::webSafeDecodeData(text),
                      reference::decode(text.data(), text.size(), reference::kWebSafeChars, false))
                << byte << " at " << lane;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Differential, testing::Values(SimdLevel::Scalar, SimdLevel::SSSE3, SimdLevel::AVX2),
                         [](const auto& info) { return std::string(toString(info.param)); });

} // namespace
} // namespace waterline

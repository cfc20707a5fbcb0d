#include <waterline/image/PixelConversion.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace waterline;

TEST(PixelConversion, UnpremultiplyRoundsClampsAndClearsTransparentColour)
{
    struct Case {
        unsigned channel, alpha;
        std::uint8_t straight;
    };
    const Case cases[] = {
        {0, 0, 0},       {200, 0, 0},     {255, 0, 0},     // no alpha: no colour
        {128, 128, 255}, {200, 100, 255}, {255, 1, 255},   // at or above alpha: saturates
        {64, 128, 128},  {1, 3, 85},      {2, 3, 170},     // c × 255 / a to nearest
        {17, 255, 17},   {0, 255, 0},     {255, 255, 255}, // opaque: unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(image::unpremultiplyChannel(c.channel, c.alpha), c.straight) << c.channel << " / " << c.alpha;
}

TEST(PixelConversion, EveryValidPremultipliedPixelSurvivesARoundTrip)
{
    // What a PNG stores for a valid premultiplied channel decodes to the same channel,
    // so saving and loading a picture loses nothing.
    for (unsigned alpha = 0; alpha <= 255; ++alpha)
        for (unsigned channel = 0; channel <= alpha; ++channel)
            ASSERT_EQ(image::multiply255(image::unpremultiplyChannel(channel, alpha), alpha), channel)
                << channel << " / " << alpha;
}

TEST(PixelConversion, PremultiplyRoundsToNearest)
{
    for (unsigned a = 0; a <= 255; ++a)
        for (unsigned b = 0; b <= 255; b += 5)
            ASSERT_EQ(image::multiply255(a, b), (a * b * 2 + 255) / 510) << a << " × " << b;
    std::array<std::uint8_t, 8> row = {128, 255, 100, 0, 255, 10, 20, 30};
    image::premultiplyARGBRow(row.data(), 2);
    EXPECT_EQ(row, (std::array<std::uint8_t, 8>{128, 128, 50, 0, 255, 10, 20, 30}));
}

TEST(PixelConversion, BothByteOrdersGiveTheSameStraightRows)
{
    // The same four pixels in each byte order, in buffers whose rows are padded.
    const std::uint8_t argb[16] = {255, 1, 2, 3, 128, 64, 200, 0, 0, 9, 9, 9, 51, 51, 17, 0};
    std::uint8_t bgra[16];
    for (int i = 0; i < 16; i += 4)
        bgra[i] = argb[i + 3], bgra[i + 1] = argb[i + 2], bgra[i + 2] = argb[i + 1], bgra[i + 3] = argb[i];
    const std::uint8_t expected[16] = {1, 2, 3, 255, 128, 255, 0, 128, 0, 0, 0, 0, 255, 85, 0, 51};

    for (auto [format, source] :
         {std::pair{PixelFormat::ARGB32Premultiplied, argb},
          std::pair{PixelFormat::BGRA32Premultiplied, static_cast<const std::uint8_t*>(bgra)}}) {
        std::array<std::byte, 48> memory{}; // 2 rows of 2 pixels, stride 24
        for (int y = 0; y < 2; ++y)
            std::memcpy(memory.data() + 24 * y, source + 8 * y, 8);
        auto buffer = PixelBuffer::wrap(format, {2, 2}, 24, memory);
        ASSERT_TRUE(buffer);
        auto rgba = image::straightRGBA(*buffer);
        ASSERT_EQ(rgba.size(), 16u);
        EXPECT_EQ(std::memcmp(rgba.data(), expected, 16), 0);

        std::uint8_t copied[8];
        image::copyRowAsARGB(buffer->row(1), format, copied, 2);
        EXPECT_EQ(std::memcmp(copied, argb + 8, 8), 0);
    }
}

#include <waterline/effect/ImageData.h>

#include <gtest/gtest.h>

#include <array>

#include <cstring>

using namespace waterline;

TEST(ImageData, ConvertsEitherByteOrderToTightARGB)
{
    std::byte bgra[2 * 12] = {};
    const std::uint8_t pixel[4] = {0x30, 0x20, 0x10, 0x80}; // B, G, R, A
    std::memcpy(bgra + 12, pixel, 4);                       // row 1, padded stride of 12
    auto raster = PixelBuffer::wrap(PixelFormat::BGRA32Premultiplied, {2, 2}, 12, bgra);
    auto data = createimagedata(*raster);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->format(), PixelFormat::ARGB32Premultiplied);
    EXPECT_EQ(data->stride(), 8u);
    const std::uint8_t* p = data->row(1);
    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{0x80, 0x10, 0x20, 0x30}));
}

TEST(ImageData, FailuresWriteTheirMessageExactly)
{
    std::byte none[4] = {};
    struct Case {
        std::unique_ptr<PixelBuffer> raster;
        const char* message;
    };
    Case cases[] = {
        {PixelBuffer::wrap(static_cast<PixelFormat>(9), {1, 1}, 4, none), "Error allocating color space\n"},
        {PixelBuffer::wrap(PixelFormat::ARGB32Premultiplied, {0, 1}, 0, none), "Context not created!"},
        {PixelBuffer::wrap(PixelFormat::ARGB32Premultiplied, {1, 0}, 4, none), "Context not created!"},
    };
    for (auto& c : cases) {
        ASSERT_TRUE(c.raster);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(createimagedata(*c.raster));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
}

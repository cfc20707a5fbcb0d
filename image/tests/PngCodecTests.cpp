#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/image/PictureFileError.h>
#include <waterline/image/PngCodec.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace waterline;

namespace {

std::unique_ptr<PixelBuffer> bufferOf(PixelFormat format, Size size, std::initializer_list<std::uint8_t> bytes)
{
    auto buffer = PixelBuffer::create(format, size);
    std::memcpy(buffer->data(), std::data(bytes), bytes.size());
    return buffer;
}

} // namespace

TEST(PngCodec, WritesStraightColourAndReadsBackPremultiplied)
{
    // Opaque, half-transparent, a channel above alpha, colour at alpha 0.
    auto buffer = bufferOf(PixelFormat::ARGB32Premultiplied, {4, 1},
                           {255, 10, 20, 30, 128, 64, 0, 128, 100, 200, 50, 100, 0, 40, 50, 60});
    auto png = image::encodePNG(*buffer);
    ASSERT_TRUE(png) << png.error()->debugDescription();
    ASSERT_TRUE(image::looksLikePNG(*png));
    auto size = image::readPNGSize(*png);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, Size(4, 1));

    auto decoded = image::decodePNG(*png);
    ASSERT_TRUE(decoded) << decoded.error()->debugDescription();
    const std::uint8_t expected[16] = {255, 10, 20, 30, 128, 64, 0, 128, 100, 100, 50, 100, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp((*decoded)->data(), expected, 16), 0);
}

TEST(PngCodec, ByteOrderDoesNotChangeTheFile)
{
    auto argb = bufferOf(PixelFormat::ARGB32Premultiplied, {2, 1}, {200, 1, 150, 220, 0, 9, 9, 9});
    auto bgra = bufferOf(PixelFormat::BGRA32Premultiplied, {2, 1}, {220, 150, 1, 200, 9, 9, 9, 0});
    EXPECT_EQ(*image::encodePNG(*argb), *image::encodePNG(*bgra));
}

TEST(PngCodec, RefusesWhatItCannotDo)
{
    auto empty = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {0, 0});
    ASSERT_TRUE(empty);
    auto encoded = image::encodePNG(*empty);
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error()->domain(), kPictureFileErrorDomain);
    EXPECT_EQ(encoded.error()->code(), static_cast<int>(PictureFileErrorCode::NoPixels));
    EXPECT_EQ(encoded.error()->localizedDescription(), "cannot encode a picture without pixels");

    const std::uint8_t garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3};
    auto decoded = image::decodePNG(garbage);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error()->code(), static_cast<int>(PictureFileErrorCode::CorruptHeader));
}

TEST(PngCodec, WritePNGFileReplacesTheFileOrLeavesItAlone)
{
    std::filesystem::path folder = temporaryFilePath();
    std::filesystem::create_directory(folder);
    auto target = folder / "picture.png";
    auto first = bufferOf(PixelFormat::ARGB32Premultiplied, {1, 1}, {255, 1, 2, 3});
    auto second = bufferOf(PixelFormat::ARGB32Premultiplied, {1, 1}, {255, 4, 5, 6});
    ASSERT_TRUE(image::writePNGFile(*first, target));
    ASSERT_TRUE(image::writePNGFile(*second, target));
    EXPECT_EQ(*readFile(target), *image::encodePNG(*second));

    auto missingFolder = image::writePNGFile(*first, folder / "absent" / "picture.png");
    EXPECT_FALSE(missingFolder);
    auto empty = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {0, 0});
    EXPECT_FALSE(image::writePNGFile(*empty, target));
    EXPECT_EQ(*readFile(target), *image::encodePNG(*second));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1); // no temporary left
    std::filesystem::remove_all(folder);
}

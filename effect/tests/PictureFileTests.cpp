#include "TestPictures.h"

#include <waterline/effect/PictureFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace waterline;
using namespace waterline::test;

namespace {

std::vector<std::uint8_t> jpegOf(Size size, float quality = 0.9f)
{
    auto encoded = PictureFile::encodeJPEG(*gradientRaster(size), quality);
    EXPECT_TRUE(encoded) << encoded.error;
    return encoded.value;
}

int largestChannelDifference(const PixelBuffer& a, const PixelBuffer& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int i = 0; i < a.width() * 4; ++i)
            worst = std::max(worst, std::abs(a.row(y)[i] - b.row(y)[i]));
    return worst;
}

double meanChannelDifference(const PixelBuffer& a, const PixelBuffer& b)
{
    double total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int i = 0; i < a.width() * 4; ++i)
            total += std::abs(a.row(y)[i] - b.row(y)[i]);
    return total / (a.width() * a.height() * 4.0);
}

} // namespace

TEST(PictureFile, JpegRoundTripKeepsSizeAndColour)
{
    auto raster = gradientRaster({120, 80});
    auto decoded = PictureFile::decode(jpegOf({120, 80}, 1.0f));
    ASSERT_TRUE(decoded) << decoded.error;
    const auto& picture = *decoded.value;
    EXPECT_EQ(picture.raster().size(), Size(120, 80));
    EXPECT_EQ(picture.raster().format(), PixelFormat::ARGB32Premultiplied);
    EXPECT_EQ(picture.orientation(), PictureOrientation::Up);
    EXPECT_LE(meanChannelDifference(picture.raster(), *raster), 8.0); // chroma subsampling blurs the checks
}

TEST(PictureFile, PngRoundTripIsExactForOpaqueAndKeepsTranslucency)
{
    auto raster = gradientRaster({33, 17});
    auto opaque = PictureFile::decode(PictureFile::encodePNG(*raster).value);
    ASSERT_TRUE(opaque) << opaque.error;
    EXPECT_EQ(largestChannelDifference(opaque.value->raster(), *raster), 0);

    // Premultiplied half-transparent red stays within rounding of itself.
    auto translucent = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {2, 1});
    const std::uint8_t pixels[8] = {128, 128, 0, 0, 0, 0, 0, 0};
    std::memcpy(translucent->data(), pixels, 8);
    auto decoded = PictureFile::decode(PictureFile::encodePNG(*translucent).value);
    ASSERT_TRUE(decoded);
    EXPECT_LE(largestChannelDifference(decoded.value->raster(), *translucent), 1);
}

TEST(PictureFile, ExifOrientationBecomesTheTag)
{
    const std::pair<int, PictureOrientation> table[] = {
        {1, PictureOrientation::Up},           {3, PictureOrientation::Down},
        {8, PictureOrientation::Left},         {6, PictureOrientation::Right},
        {2, PictureOrientation::UpMirrored},   {4, PictureOrientation::DownMirrored},
        {5, PictureOrientation::LeftMirrored}, {7, PictureOrientation::RightMirrored},
        {0, PictureOrientation::Up},           {9, PictureOrientation::Up},
    };
    auto jpeg = jpegOf({40, 30});
    for (auto [exif, tag] : table) {
        auto file = withExifOrientation(jpeg, exif);
        auto info = PictureFile::probe(file);
        ASSERT_TRUE(info) << info.error;
        EXPECT_EQ(info.value.orientation, tag) << "EXIF " << exif;
        EXPECT_EQ(info.value.storedSize, Size(40, 30));
        auto decoded = PictureFile::decode(file);
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_EQ(decoded.value->orientation(), tag);
        EXPECT_EQ(decoded.value->size(), swapsSides(tag) ? SizeF(30, 40) : SizeF(40, 30));
    }
}

TEST(PictureFile, DecodesAtTheSmallestDctScaleThatCoversTheTarget)
{
    auto jpeg = jpegOf({1600, 1200}, 0.5f);
    struct Case {
        std::optional<Size> cover;
        int exif;
        Size stored;
    };
    const Case cases[] = {
        {std::nullopt, 1, {1600, 1200}}, {Size{200, 150}, 1, {200, 150}},     {Size{201, 150}, 1, {400, 300}},
        {Size{682, 512}, 1, {800, 600}}, {Size{1600, 1200}, 1, {1600, 1200}}, {Size{3000, 3000}, 1, {1600, 1200}},
        {Size{150, 200}, 6, {200, 150}}, // turned: the cover is upright
        {Size{150, 201}, 6, {400, 300}},
    };
    for (const auto& c : cases) {
        auto decoded = PictureFile::decode(withExifOrientation(jpeg, c.exif), {.coverSize = c.cover});
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_EQ(decoded.value->raster().size(), c.stored);
    }
}

TEST(PictureFile, BadFilesGiveAReasonAndNoPicture)
{
    auto jpeg = jpegOf({64, 48});
    auto png = PictureFile::encodePNG(*gradientRaster({64, 48})).value;
    std::vector<std::uint8_t> hugeJpeg = jpeg;
    // Patch the frame header (SOF0) to claim 65000 × 65000.
    for (std::size_t i = 2; i + 9 < hugeJpeg.size(); ++i) {
        if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {
            hugeJpeg[i + 5] = 0xFD, hugeJpeg[i + 6] = 0xE8, hugeJpeg[i + 7] = 0xFD, hugeJpeg[i + 8] = 0xE8;
            break;
        }
    }
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "empty file"},
        {"garbage", {1, 2, 3, 4, 5, 6, 7, 8, 9}, "not a JPEG or PNG file"},
        {"JPEG signature only", {0xFF, 0xD8, 0xFF}, "corrupt JPEG header"},
        {"truncated JPEG", {jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2)}, "corrupt JPEG data"},
        {"huge JPEG header", hugeJpeg, "picture too large: 65000 × 65000 pixels"},
        {"truncated PNG", {png.begin(), png.begin() + static_cast<long>(png.size() / 2)}, "corrupt PNG data"},
        {"PNG signature only", {png.begin(), png.begin() + 8}, "corrupt PNG header"},
        {"huge PNG header", pngHeaderClaiming(100000, 100000), "picture too large: 100000 × 100000 pixels"},
    };
    for (const auto& c : cases) {
        auto decoded = PictureFile::decode(c.bytes);
        EXPECT_FALSE(decoded) << c.name;
        EXPECT_FALSE(decoded.value) << c.name;
        EXPECT_NE(decoded.error.find(c.reason), std::string::npos) << c.name << ": " << decoded.error;
    }
}

TEST(PictureFile, StrayBytesBetweenSegmentsAreForgiven)
{
    // Three bytes before the quantisation tables: the decoder warns about "extraneous
    // bytes" but the picture is whole.
    auto jpeg = jpegOf({64, 48});
    std::vector<std::uint8_t> blemished;
    bool inserted = false;
    for (std::size_t i = 0; i < jpeg.size(); ++i) {
        if (!inserted && i > 2 && jpeg[i] == 0xFF && i + 1 < jpeg.size() && jpeg[i + 1] == 0xDB) {
            for (std::uint8_t byte : {0x12, 0x34, 0x56})
                blemished.push_back(byte);
            inserted = true;
        }
        blemished.push_back(jpeg[i]);
    }
    ASSERT_TRUE(inserted);
    auto decoded = PictureFile::decode(blemished);
    ASSERT_TRUE(decoded) << decoded.error;
    EXPECT_EQ(decoded.value->raster().size(), Size(64, 48));
}

TEST(PictureFile, ReadNamesTheFileInItsErrors)
{
    ScratchDirectory directory;
    auto missing = PictureFile::read(directory / "missing.jpg");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error.find("missing.jpg"), std::string::npos);
    writeFile(directory / "bad.png", {1, 2, 3});
    auto bad = PictureFile::read(directory / "bad.png");
    EXPECT_EQ(bad.error, (directory / "bad.png").string() + ": not a JPEG or PNG file");
}

TEST(PictureFile, TypeForExtension)
{
    EXPECT_EQ(PictureFile::typeForExtension("a/b.JPG"), PictureFileType::JPEG);
    EXPECT_EQ(PictureFile::typeForExtension("b.jpeg"), PictureFileType::JPEG);
    EXPECT_EQ(PictureFile::typeForExtension("c.Png"), PictureFileType::PNG);
    EXPECT_EQ(PictureFile::typeForExtension("d.webp"), std::nullopt);
    EXPECT_EQ(PictureFile::typeForExtension("png"), std::nullopt);
}

TEST(PictureFile, NamedResourcesComeFromTheResourceDirectory)
{
    ScratchDirectory directory;
    writeFile(directory / "button.png", PictureFile::encodePNG(*gradientRaster({60, 60})).value);
    setenv("WATERLINE_RESOURCES", directory.path().c_str(), 1);
    EXPECT_EQ(Picture::resourceDirectory(), directory.path());
    auto button = Picture::named("button.png");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->size(), SizeF(60, 60));
    EXPECT_EQ(Picture::named("button.png"), button); // decoded once
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Picture::named("absent.png"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("absent.png"), std::string::npos);
    unsetenv("WATERLINE_RESOURCES");
    EXPECT_NE(Picture::resourceDirectory(), directory.path());
}

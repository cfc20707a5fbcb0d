#include "TestPictures.h"

#include <waterline/effect/PictureFile.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace waterline;
using namespace waterline::test;

namespace {

std::vector<std::uint8_t> jpegOf(Size size, float quality = 0.9f)
{
    auto encoded = PictureFile::encodeJPEG(*gradientRaster(size), quality);
    EXPECT_TRUE(encoded) << encoded.error()->localizedDescription();
    return *encoded;
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
    ASSERT_TRUE(decoded) << decoded.error()->localizedDescription();
    const auto& picture = **decoded;
    EXPECT_EQ(picture.raster().size(), Size(120, 80));
    EXPECT_EQ(picture.raster().format(), PixelFormat::ARGB32Premultiplied);
    EXPECT_EQ(picture.orientation(), PictureOrientation::Up);
    EXPECT_LE(meanChannelDifference(picture.raster(), *raster), 8.0); // chroma subsampling blurs the checks
}

TEST(PictureFile, PngRoundTripIsExactForOpaqueAndKeepsTranslucency)
{
    auto raster = gradientRaster({33, 17});
    auto opaque = PictureFile::decode(*PictureFile::encodePNG(*raster));
    ASSERT_TRUE(opaque) << opaque.error()->localizedDescription();
    EXPECT_EQ(largestChannelDifference((*opaque)->raster(), *raster), 0);

    // Premultiplied half-transparent red stays within rounding of itself.
    auto translucent = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {2, 1});
    const std::uint8_t pixels[8] = {128, 128, 0, 0, 0, 0, 0, 0};
    std::memcpy(translucent->data(), pixels, 8);
    auto decoded = PictureFile::decode(*PictureFile::encodePNG(*translucent));
    ASSERT_TRUE(decoded);
    EXPECT_LE(largestChannelDifference((*decoded)->raster(), *translucent), 1);
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
    auto png = *PictureFile::encodePNG(*gradientRaster({40, 30}));
    for (auto [exif, tag] : table) {
        // A JPEG's APP1 segment, and a PNG's eXIf chunk.
        for (const auto& file : {withExifOrientation(jpeg, exif), withExifChunk(png, exif)}) {
            auto info = PictureFile::probe(file);
            ASSERT_TRUE(info) << info.error()->localizedDescription();
            EXPECT_EQ(info->orientation, tag) << "EXIF " << exif;
            EXPECT_EQ(info->storedSize, Size(40, 30));
            auto decoded = PictureFile::decode(file);
            ASSERT_TRUE(decoded) << decoded.error()->localizedDescription();
            EXPECT_EQ((*decoded)->orientation(), tag);
            EXPECT_EQ((*decoded)->size(), swapsSides(tag) ? SizeF(30, 40) : SizeF(40, 30));
        }
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
        ASSERT_TRUE(decoded) << decoded.error()->localizedDescription();
        EXPECT_EQ((*decoded)->raster().size(), c.stored);
    }
}

TEST(PictureFile, BadFilesGiveAReasonAndNoPicture)
{
    auto jpeg = jpegOf({64, 48});
    auto png = *PictureFile::encodePNG(*gradientRaster({64, 48}));
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
        PictureFileErrorCode code;
    };
    const Case cases[] = {
        {"empty", {}, "empty file", PictureFileErrorCode::EmptyFile},
        {"garbage", {1, 2, 3, 4, 5, 6, 7, 8, 9}, "not a JPEG or PNG file", PictureFileErrorCode::UnknownFormat},
        {"JPEG signature only", {0xFF, 0xD8, 0xFF}, "corrupt JPEG header", PictureFileErrorCode::CorruptHeader},
        {"truncated JPEG",
         {jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2)},
         "corrupt JPEG data",
         PictureFileErrorCode::CorruptData},
        {"huge JPEG header", hugeJpeg, "picture too large: 65000 × 65000 pixels", PictureFileErrorCode::TooLarge},
        {"truncated PNG",
         {png.begin(), png.begin() + static_cast<long>(png.size() / 2)},
         "corrupt PNG data",
         PictureFileErrorCode::CorruptData},
        {"PNG signature only",
         {png.begin(), png.begin() + 8},
         "corrupt PNG header",
         PictureFileErrorCode::CorruptHeader},
        {"huge PNG header", pngHeaderClaiming(100000, 100000), "picture too large: 100000 × 100000 pixels",
         PictureFileErrorCode::TooLarge},
        // A side of zero is a broken header, not a picture too large.
        {"PNG header without width", pngHeaderClaiming(0, 48), "corrupt PNG header",
         PictureFileErrorCode::CorruptHeader},
        {"PNG header without height", pngHeaderClaiming(64, 0), "corrupt PNG header",
         PictureFileErrorCode::CorruptHeader},
    };
    for (const auto& c : cases) {
        auto decoded = PictureFile::decode(c.bytes);
        ASSERT_FALSE(decoded) << c.name;
        auto error = decoded.error();
        EXPECT_EQ(error->domain(), kPictureFileErrorDomain) << c.name;
        EXPECT_EQ(error->code(), static_cast<int>(c.code)) << c.name;
        EXPECT_NE(error->localizedDescription().find(c.reason), std::string::npos)
            << c.name << ": " << error->localizedDescription();
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
    ASSERT_TRUE(decoded) << decoded.error()->localizedDescription();
    EXPECT_EQ((*decoded)->raster().size(), Size(64, 48));
}

TEST(PictureFile, ReadNamesTheFileInItsErrors)
{
    ScratchDirectory directory;
    auto missing = PictureFile::read(directory / "missing.jpg");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error()->localizedDescription(),
              (directory / "missing.jpg").string() + ": No such file or directory");
    EXPECT_EQ(missing.error()->code(), static_cast<int>(PictureFileErrorCode::ReadFailed));
    ASSERT_TRUE(missing.error()->underlyingError());
    EXPECT_EQ(missing.error()->underlyingError()->code(), ENOENT);
    writeFile(directory / "bad.png", {1, 2, 3});
    auto bad = PictureFile::read(directory / "bad.png");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error()->localizedDescription(), (directory / "bad.png").string() + ": not a JPEG or PNG file");
    EXPECT_EQ(bad.error()->code(), static_cast<int>(PictureFileErrorCode::UnknownFormat));
}

TEST(PictureFile, ReadErrorsOnWorkerThreadsKeepTheirOwnReason)
{
    // Thumbnails are decoded on several threads at once; each failure must carry the
    // reason of its own file, not a text another thread's failure overwrote.
    ScratchDirectory directory;
    std::filesystem::create_directory(directory / "folder.jpg");
    const std::pair<std::filesystem::path, std::string> files[] = {
        {directory / "missing.jpg", "No such file or directory"},
        {directory / "folder.jpg", "Is a directory"},
    };
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            const auto& [path, reason] = files[t % 2];
            for (int i = 0; i < 200; ++i) {
                auto result = PictureFile::read(path);
                if (result || result.error()->localizedDescription() != path.string() + ": " + reason)
                    ++wrong;
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(wrong, 0);
}

TEST(PictureFile, ReadRefusesAFileAboveTheLimitBeforeDecoding)
{
    ScratchDirectory directory;
    auto path = directory / "huge.jpg";
    writeFile(path, {0xFF, 0xD8, 0xFF});
    std::filesystem::resize_file(path, PictureFile::kMaxFileBytes + 1); // sparse: no disk used
    auto result = PictureFile::read(path);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error()->localizedDescription(), path.string() + ": file too large");
    EXPECT_EQ(result.error()->code(), static_cast<int>(PictureFileErrorCode::TooLarge));
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
    writeFile(directory / "button.png", *PictureFile::encodePNG(*gradientRaster({60, 60})));
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

#include <waterline/effect/FixOrientation.h>

#include <gtest/gtest.h>

#include <array>

#include <array>
#include <cmath>
#include <cstring>

using namespace waterline;

namespace {

// A stored raster whose pixel (column, row) is opaque with red = row and green = column,
// in either byte order.
std::shared_ptr<PixelBuffer> storedRaster(PixelFormat format, Size size, std::size_t stride = 0)
{
    if (stride == 0)
        stride = static_cast<std::size_t>(size.width) * 4;
    auto* bytes = new std::byte[stride * size.height]();
    auto raster = PixelBuffer::wrap(format, size, stride, {bytes, stride * size.height}, [bytes] { delete[] bytes; });
    for (int row = 0; row < size.height; ++row) {
        for (int column = 0; column < size.width; ++column) {
            std::uint8_t* p = raster->row(row) + column * 4;
            std::array<std::uint8_t, 4> argb{0xFF, static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(column),
                                             0x5A};
            if (format == PixelFormat::ARGB32Premultiplied)
                std::memcpy(p, argb.data(), 4);
            else
                for (int i = 0; i < 4; ++i)
                    p[i] = argb[3 - i];
        }
    }
    return raster;
}

struct StoredPixel {
    int column, row;
};

StoredPixel storedPixelAt(const PixelBuffer& upright, int x, int y)
{
    const std::uint8_t* p = upright.row(y) + x * 4;
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[3], 0x5A);
    return {p[2], p[1]};
}

} // namespace

TEST(FixOrientation, EveryTagMapsPixelsAsTheTableSays)
{
    const int Ws = 4, Hs = 3;
    // Upright pixel (x, y) is stored pixel (column, row).
    auto expected = [&](int tag, int x, int y) -> StoredPixel {
        switch (tag) {
        case 0:
            return {x, y};
        case 1:
            return {Ws - 1 - x, Hs - 1 - y};
        case 2:
            return {Ws - 1 - y, x};
        case 3:
            return {y, Hs - 1 - x};
        case 4:
            return {Ws - 1 - x, y};
        case 5:
            return {x, Hs - 1 - y};
        case 6:
            return {y, x};
        default:
            return {Ws - 1 - y, Hs - 1 - x};
        }
    };
    for (auto format : {PixelFormat::ARGB32Premultiplied, PixelFormat::BGRA32Premultiplied}) {
        auto raster = storedRaster(format, {Ws, Hs}, 24); // a padded stride, as camera buffers have
        for (int tag = 0; tag < 8; ++tag) {
            auto orientation = static_cast<PictureOrientation>(tag);
            auto picture = Picture::create(raster, orientation);
            SizeF size = picture->size();
            EXPECT_EQ(size, swapsSides(orientation) ? SizeF(3, 4) : SizeF(4, 3));
            auto upright = fixOrientation(*picture, size);
            ASSERT_TRUE(upright);
            EXPECT_EQ(upright->orientation(), PictureOrientation::Up);
            EXPECT_EQ(upright->raster().format(), PixelFormat::ARGB32Premultiplied);
            EXPECT_EQ(upright->raster().stride(), static_cast<std::size_t>(size.width) * 4);
            for (int y = 0; y < static_cast<int>(size.height); ++y) {
                for (int x = 0; x < static_cast<int>(size.width); ++x) {
                    auto got = storedPixelAt(upright->raster(), x, y);
                    auto want = expected(tag, x, y);
                    EXPECT_EQ(got.column, want.column) << "tag " << tag << " at " << x << "," << y;
                    EXPECT_EQ(got.row, want.row) << "tag " << tag << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(FixOrientation, NamedCorners)
{
    auto raster = storedRaster(PixelFormat::ARGB32Premultiplied, {4, 3});
    auto right = fixOrientation(*Picture::create(raster, PictureOrientation::Right), {3, 4});
    EXPECT_EQ(storedPixelAt(right->raster(), 0, 0).row, 2); // stored bottom-left
    EXPECT_EQ(storedPixelAt(right->raster(), 0, 0).column, 0);
    EXPECT_EQ(storedPixelAt(right->raster(), 2, 0).row, 0); // stored top-left
    EXPECT_EQ(storedPixelAt(right->raster(), 2, 0).column, 0);
    auto transposed = fixOrientation(*Picture::create(raster, PictureOrientation::LeftMirrored), {3, 4});
    EXPECT_EQ(storedPixelAt(transposed->raster(), 1, 0).row, 1);
    EXPECT_EQ(storedPixelAt(transposed->raster(), 1, 0).column, 0);
}

TEST(FixOrientation, CameraFrameBothCameras)
{
    auto frame = storedRaster(PixelFormat::BGRA32Premultiplied, {640, 480}, 640 * 4 + 64);
    auto back = fixOrientation(*Picture::create(frame, PictureOrientation::Right), {480, 640});
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), SizeF(480, 640));
    auto front = fixOrientation(*Picture::create(frame, PictureOrientation::LeftMirrored), {480, 640});
    ASSERT_TRUE(front);
    for (int y : {0, 1, 255, 639})
        for (int x : {0, 1, 200, 479}) {
            auto b = storedPixelAt(back->raster(), x, y);
            auto f = storedPixelAt(front->raster(), x, y);
            EXPECT_EQ(b.column & 0xFF, y & 0xFF);
            EXPECT_EQ(b.row, (479 - x) & 0xFF);
            EXPECT_EQ(f.column & 0xFF, y & 0xFF);
            EXPECT_EQ(f.row, x & 0xFF);
        }
}

TEST(FixOrientation, StretchesToTheTargetAndKeepsFlatColour)
{
    auto flat = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {400, 300});
    for (std::size_t i = 0; i < flat->byteCount(); i += 4) {
        const std::uint8_t pixel[4] = {0xFF, 10, 200, 77};
        std::memcpy(flat->data() + i, pixel, 4);
    }
    std::shared_ptr<const PixelBuffer> raster = std::move(flat);
    for (SizeF target : {SizeF{100, 75}, SizeF{37.9, 20.2}, SizeF{800, 600}, SizeF{1, 1}}) {
        auto scaled = fixOrientation(*Picture::create(raster, PictureOrientation::Down), target);
        ASSERT_TRUE(scaled);
        Size want{static_cast<int>(target.width), static_cast<int>(target.height)};
        EXPECT_EQ(scaled->raster().size(), want);
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x) {
                const std::uint8_t* p = scaled->raster().row(y) + 4 * x;
                ASSERT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{0xFF, 10, 200, 77}))
                    << target.width << "×" << target.height << " at " << x << "," << y;
            }
    }
}

TEST(FixOrientation, ShrinkingAveragesTheCoveredArea)
{
    // Alpha 255 and one grey channel per pixel; 3 → 2 columns weighs 2/3 + 1/3.
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {3, 2});
    const int grey[2][3] = {{0, 90, 240}, {30, 60, 150}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::uint8_t* p = raster->row(y) + 4 * x;
            p[0] = 255;
            p[1] = p[2] = p[3] = static_cast<std::uint8_t>(grey[y][x]);
        }
    auto shrunk = fixOrientation(*Picture::create(std::move(raster)), {2, 1});
    ASSERT_TRUE(shrunk);
    const std::uint8_t* p = shrunk->raster().row(0);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[1], 35);  // (0·2/3 + 90·1/3 + 30·2/3 + 60·1/3) / 2
    EXPECT_EQ(p[5], 155); // (90·1/3 + 240·2/3 + 60·1/3 + 150·2/3) / 2
}

TEST(FixOrientation, TargetsWithoutAPixelAreRefused)
{
    auto picture = Picture::create(storedRaster(PixelFormat::ARGB32Premultiplied, {4, 3}));
    for (SizeF target : {SizeF{768, 0}, SizeF{0, 10}, SizeF{0.5, 10}, SizeF{-3, 4}, SizeF{NAN, 4}}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(fixOrientation(*picture, target));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "could not scale image\n");
    }
}

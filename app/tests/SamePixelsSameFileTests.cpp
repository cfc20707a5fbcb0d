// A screenshot, a picture saved as PNG and a drawn button picture are written by
// different parts of the program. Given the same pixels they must write the same file,
// byte for byte, including pixels no valid drawing makes (a channel above its alpha)
// and pixels with no alpha but stray colour.
#include "GlyphCanvas.h"
#include "ScratchDirectory.h"

#include <waterline/effect/PictureFile.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/image/PixelConversion.h>
#include <waterline/image/PngCodec.h>
#include <waterline/ui/PngWriter.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace waterline;

namespace {

constexpr Size kSize{4, 3};

// B, G, R, A bytes, row by row.
constexpr std::uint8_t kPixels[] = {
    10,  20,  30,  255, 0,   0,   0,   0,   // opaque; fully transparent
    64,  0,   128, 128, 50,  200, 150, 100, // half-transparent; two channels above alpha
    9,   9,   9,   0,   255, 255, 255, 0,   // colour at alpha 0
    1,   2,   3,   3,   0,   0,   255, 255, // channel equal to alpha; opaque red
    90,  91,  92,  93,  200, 0,   17,  1,   // ordinary; above alpha at alpha 1
    255, 128, 0,   254, 0,   254, 0,   254, // near opaque
};

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path)
{
    auto bytes = readFile(path);
    EXPECT_TRUE(bytes) << bytes.error()->debugDescription();
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

} // namespace

TEST(SamePixelsSameFile, ScreenshotSavedPictureAndButtonArtAgree)
{
    apptest::ScratchDirectory scratch;
    art::GlyphCanvas canvas(kSize.width, kSize.height);
    PixelBuffer& pixels = canvas.pixels();
    ASSERT_EQ(pixels.format(), PixelFormat::BGRA32Premultiplied);
    for (int y = 0; y < kSize.height; ++y)
        std::memcpy(pixels.row(y), kPixels + y * kSize.width * 4, static_cast<std::size_t>(kSize.width) * 4);
    // The same pixels in the other byte order, as the effect engine holds them.
    auto argb = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, kSize);
    for (int y = 0; y < kSize.height; ++y)
        image::copyRowAsARGB(pixels.row(y), pixels.format(), argb->row(y), kSize.width);

    ASSERT_TRUE(canvas.writePng(scratch / "button.png"));
    ASSERT_TRUE(writePng(pixels, scratch / "screenshot.png"));
    ASSERT_TRUE(writePng(*argb, scratch / "screenshot-argb.png"));
    auto saved = PictureFile::encodePNG(*argb);
    ASSERT_TRUE(saved) << saved.error()->debugDescription();

    auto button = fileBytes(scratch / "button.png");
    EXPECT_EQ(fileBytes(scratch / "screenshot.png"), button);
    EXPECT_EQ(fileBytes(scratch / "screenshot-argb.png"), button);
    EXPECT_EQ(*saved, button);

    // And the file holds what the rule says. Read back premultiplied A, R, G, B, pixel
    // (B 50, G 200, R 150, A 100) has its red and green saturated at alpha; straight
    // colour at alpha 0 is 0.
    auto decoded = image::decodePNG(button);
    ASSERT_TRUE(decoded);
    const std::uint8_t* aboveAlpha = (*decoded)->row(0) + 3 * 4;
    EXPECT_EQ((std::vector<std::uint8_t>(aboveAlpha, aboveAlpha + 4)), (std::vector<std::uint8_t>{100, 100, 100, 50}));
    auto straight = image::straightRGBA(pixels);
    const std::uint8_t* strayColour = straight.data() + 4 * 4;
    EXPECT_EQ((std::vector<std::uint8_t>(strayColour, strayColour + 4)), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

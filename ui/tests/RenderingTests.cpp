// Pixels on the screen canvas: the image view's top mode and clipping, both pixel byte
// orders, scaling, rotation, the disabled look, redrawing only what changed, and the
// screenshot file.
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/UIError.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace waterline;

namespace {

struct Rgba {
    int r, g, b, a;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

std::ostream& operator<<(std::ostream& os, const Rgba& c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
}

// A picture whose row y is the colour rows[y], in the given byte order.
std::shared_ptr<const PixelBuffer> striped(PixelFormat format, int width, const std::vector<Rgba>& rows)
{
    std::shared_ptr<PixelBuffer> p = PixelBuffer::create(format, {width, static_cast<int>(rows.size())});
    for (int y = 0; y < p->height(); ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p->row(y) + x * 4;
            const Rgba& c = rows[static_cast<std::size_t>(y)];
            if (format == PixelFormat::ARGB32Premultiplied)
                px[0] = c.a, px[1] = c.r, px[2] = c.g, px[3] = c.b;
            else
                px[0] = c.b, px[1] = c.g, px[2] = c.r, px[3] = c.a;
        }
    return p;
}

Rgba pixel(const Window& window, int x, int y)
{
    const std::uint8_t* px = window.canvas().pixels().row(y) + x * 4; // B, G, R, A
    return {px[2], px[1], px[0], px[3]};
}

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr Rgba kWhite{255, 255, 255, 255};

class ImageViewRendering : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(ImageViewRendering, TopModeDrawsAtNaturalSizeTopAlignedCentredAndClipped)
{
    Window window;
    auto& clipped = window.rootView().add<ImageView>(RectF{10, 20, 8, 3});
    clipped.setContentMode(ContentMode::Top);
    clipped.setClipsToBounds(true);
    clipped.setImage(striped(GetParam(), 4, {kRed, kGreen, kBlue, kWhite, kWhite}));
    auto& unclipped = window.rootView().add<ImageView>(RectF{100, 20, 8, 3});
    unclipped.setContentMode(ContentMode::Top);
    unclipped.setImage(striped(GetParam(), 4, {kRed, kGreen, kBlue, kWhite, kWhite}));
    auto& wide = window.rootView().add<ImageView>(RectF{200, 20, 6, 2});
    wide.setContentMode(ContentMode::Top);
    wide.setClipsToBounds(true);
    wide.setImage(striped(GetParam(), 10, {kGreen, kGreen}));
    window.render();

    struct Case {
        int x, y;
        Rgba expected;
    };
    const Case cases[] = {
        {12, 20, kRed},    {15, 20, kRed}, // (8 − 4) / 2 = 2 points in from the left
        {12, 21, kGreen},  {12, 22, kBlue},   {11, 20, kBlack},  {16, 20, kBlack},  // beside the picture
        {12, 23, kBlack},  {12, 24, kBlack},                                        // below the bounds: clipped
        {102, 23, kWhite}, {102, 24, kWhite}, {102, 25, kBlack},                    // no clipping
        {199, 20, kBlack}, {200, 20, kGreen}, {205, 21, kGreen}, {206, 20, kBlack}, // wider: centred, cut
    };
    for (const Case& c : cases)
        EXPECT_EQ(pixel(window, c.x, c.y), c.expected) << "at " << c.x << "," << c.y;
    EXPECT_EQ(clipped.imageRect().x, 2);
    EXPECT_EQ(wide.imageRect().x, -2);
}

TEST_P(ImageViewRendering, ScaleToFillStretchesAndTranslucencyBlends)
{
    Window window;
    window.rootView().add<View>(RectF{0, 0, 40, 40}).setBackgroundColor(Color{255, 0, 0, 255});
    auto& stretched = window.rootView().add<ImageView>(RectF{0, 0, 8, 8});
    stretched.setImage(striped(GetParam(), 2, {kGreen, kBlue}));
    auto& glass = window.rootView().add<ImageView>(RectF{20, 20, 2, 1});
    glass.setImage(striped(GetParam(), 2, {{0, 0, 128, 128}})); // half-transparent blue, premultiplied
    window.render();
    EXPECT_EQ(pixel(window, 0, 0), kGreen);
    EXPECT_EQ(pixel(window, 7, 7), kBlue);
    Rgba mixed = pixel(window, 20, 20);
    EXPECT_NEAR(mixed.r, 127, 1);
    EXPECT_EQ(mixed.g, 0);
    EXPECT_NEAR(mixed.b, 128, 1);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ImageViewRendering,
                         ::testing::Values(PixelFormat::ARGB32Premultiplied, PixelFormat::BGRA32Premultiplied),
                         [](const auto& info) {
                             return info.param == PixelFormat::ARGB32Premultiplied ? "ARGB" : "BGRA";
                         });

TEST(Rendering, RotatedViewsDrawWhereTheyAreHit)
{
    Window window;
    auto& slider = window.rootView().add<View>();
    slider.setRotation(-1.5707964);
    slider.setFrame({0, 126, 60, 838});
    // The first 10 points of the local x axis are the bottom 10 points on screen.
    slider.add<View>(RectF{0, 0, 10, 60}).setBackgroundColor(Color::white());
    window.render();
    EXPECT_EQ(pixel(window, 0, 963), kWhite);
    EXPECT_EQ(pixel(window, 59, 954), kWhite);
    EXPECT_EQ(pixel(window, 30, 953), kBlack);
    EXPECT_EQ(pixel(window, 60, 960), kBlack);
}

TEST(Rendering, DisabledButtonIsDrawnDimmed)
{
    Window window;
    auto& button = window.rootView().add<Button>(Button::Custom, RectF{0, 0, 60, 60});
    button.setImage(striped(PixelFormat::ARGB32Premultiplied, 60, std::vector<Rgba>(60, kWhite)), ControlState::Normal);
    window.render();
    EXPECT_EQ(pixel(window, 30, 30), kWhite);
    button.setEnabled(false);
    window.render();
    int dimmed = static_cast<int>(255 * Button::kDisabledOpacity + 0.5);
    EXPECT_NEAR(pixel(window, 30, 30).r, dimmed, 1);
}

TEST(Rendering, RedrawsOnlyWhatChanged)
{
    Window window;
    auto& picture = window.rootView().add<ImageView>(RectF{0, 0, 768, 512});
    picture.setContentMode(ContentMode::Top);
    picture.setClipsToBounds(true);
    auto& water = window.rootView().add<ImageView>(RectF{0, 512, 768, 1024});
    water.setContentMode(ContentMode::Top);
    window.render();
    EXPECT_FALSE(window.needsDisplay());

    water.setImage(striped(PixelFormat::ARGB32Premultiplied, 768, std::vector<Rgba>(256, kBlue)));
    std::vector<PixelRect> redrawn = window.render();
    ASSERT_EQ(redrawn.size(), 1u);
    EXPECT_EQ(redrawn[0], (PixelRect{0, 512, 768, 256}));

    picture.setFrame({0, 256, 768, 256}); // the renderer lines the picture up with the water
    picture.setFrame({0, 256, 768, 256}); // unchanged: nothing more to draw
    redrawn = window.render();
    ASSERT_EQ(redrawn.size(), 1u); // old frame (0, 0, 768, 512) contains the new one
    EXPECT_EQ(redrawn[0], (PixelRect{0, 0, 768, 512}));
    EXPECT_TRUE(window.render().empty());
}

TEST(Rendering, OffscreenCanvasComposesInTheEngineByteOrder)
{
    // Two pictures stacked the way a saved photo is composed: source above, water below.
    Canvas canvas({3, 4}, PixelFormat::ARGB32Premultiplied);
    canvas.drawImage(*striped(PixelFormat::BGRA32Premultiplied, 3, {kRed, kRed, kRed}), {0, 0, 3, 3});
    canvas.drawImage(*striped(PixelFormat::ARGB32Premultiplied, 3, {kBlue, kBlue}), {0, 2, 3, 2});
    std::unique_ptr<PixelBuffer> composed = canvas.takePixels();
    ASSERT_EQ(composed->format(), PixelFormat::ARGB32Premultiplied);
    const std::uint8_t expected[4][4] = {{255, 255, 0, 0}, {255, 255, 0, 0}, {255, 0, 0, 255}, {255, 0, 0, 255}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(std::memcmp(composed->row(y) + x * 4, expected[y], 4), 0) << "at " << x << "," << y;
}

TEST(Rendering, ScreenshotIsA768By1024Png)
{
    Window window;
    window.rootView().add<View>(RectF{0, 0, 768, 10}).setBackgroundColor(Color{10, 20, 30, 255});
    std::string path
        = (std::filesystem::temp_directory_path() / ("ui-shot-" + std::to_string(getpid()) + ".png")).string();
    ASSERT_TRUE(window.writeScreenshot(path));

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    EXPECT_EQ(image.width, 768u);
    EXPECT_EQ(image.height, 1024u);
    EXPECT_EQ((Rgba{rgba[0], rgba[1], rgba[2], rgba[3]}), (Rgba{10, 20, 30, 255}));
    std::size_t below = 20 * 768 * 4;
    EXPECT_EQ((Rgba{rgba[below], rgba[below + 1], rgba[below + 2], rgba[below + 3]}), kBlack);
    std::remove(path.c_str());

    ErrorPtr failed = window.writeScreenshot("/nonexistent-dir/shot.png").error();
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->code(), static_cast<int>(UIErrorCode::ScreenshotFailed));
    EXPECT_NE(failed->localizedDescription().find("/nonexistent-dir/shot.png"), std::string::npos);
}

} // namespace

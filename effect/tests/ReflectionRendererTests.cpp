#include <waterline/effect/EffectState.h>
#include <waterline/effect/ReflectionRenderer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace waterline;

namespace {

// The water picture written straight from the rules, one pixel at a time, with every
// per-row quantity recomputed per pixel.
std::vector<std::uint32_t> referenceWater(const std::vector<std::uint32_t>& source, int width, int height,
                                          const ReflectionParameters& p)
{
    int H = static_cast<int>(p.K1 * static_cast<float>(height));
    std::vector<std::uint32_t> water(static_cast<std::size_t>(width) * (H > 0 ? H : 0));
    for (int e = 0; e < H; ++e) {
        for (int j = 0; j < width; ++j) {
            int n = H - 1 - e;
            float L = log2f(static_cast<float>(e + 1));
            float verticalPhase = p.K2 * L + p.step_y;
            float dy = static_cast<float>(((double)e * 0.1) * (double)p.K3 * std::sin((double)verticalPhase));
            int row = static_cast<int>(static_cast<float>(n) + dy);
            row = row < 0 ? 0 : (row > H - 1 ? H - 1 : row);
            float horizontalPhase = p.K2 * L + p.step_x;
            float dx = static_cast<float>((double)((float)e * p.K3) * std::sin((double)horizontalPhase));
            int column = static_cast<int>(static_cast<float>(j) + dx);
            column = column < 0 ? 0 : (column > width - 1 ? width - 1 : column);
            water[static_cast<std::size_t>(e) * width + j] = source[static_cast<std::size_t>(row) * width + column];
        }
    }
    return water;
}

// Every pixel names its own position, so a wrong source pixel cannot hide.
std::vector<std::uint32_t> positionPicture(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x]
                = static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x);
    return pixels;
}

std::vector<std::uint32_t> render(const std::vector<std::uint32_t>& source, int width, int height,
                                  const ReflectionParameters& p, int* rows = nullptr)
{
    std::vector<std::uint32_t> water(kWaterBufferWords, 0xDEADBEEF);
    int H = renderReflection({source.data(), width, height}, p, water);
    if (rows)
        *rows = H;
    water.resize(static_cast<std::size_t>(width) * H);
    return water;
}

} // namespace

TEST(ReflectionRenderer, WorkedExampleRows)
{
    struct Row {
        int e, sourceRow, column100;
        float L, phase, dy, dx;
    };
    const Row rows[] = {
        {0, 511, 100, 0, 0, 0, 0},
        {1, 510, 100, 1, 3, 0.000564f, 0.005645f},
        {100, 411, 103, 6.658212f, 19.974636f, 0.360921f, 3.609209f},
        {300, 210, 94, 8.233620f, 24.700859f, -0.502297f, -5.022971f},
        {511, 1, 119, 9, 27, 1.954832f, 19.548323f},
    };
    auto source = positionPicture(768, 512);
    auto water = render(source, 768, 512, {.K1 = 1, .K2 = 3, .K3 = 0.04f});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.e);
        float L = log2f(static_cast<float>(row.e + 1));
        float phase = 3.0f * L + 0.0f;
        EXPECT_NEAR(L, row.L, 1e-6);
        EXPECT_NEAR(phase, row.phase, 1e-5);
        EXPECT_NEAR((row.e * 0.1) * (double)0.04f * std::sin((double)phase), row.dy, 1e-6);
        EXPECT_NEAR((double)((float)row.e * 0.04f) * std::sin((double)phase), row.dx, 1e-5);
        std::uint32_t pixel = water[static_cast<std::size_t>(row.e) * 768 + 100];
        EXPECT_EQ(pixel >> 16, static_cast<std::uint32_t>(row.sourceRow));
        EXPECT_EQ(pixel & 0xFFFF, static_cast<std::uint32_t>(row.column100));
    }
}

TEST(ReflectionRenderer, MatchesThePlainLoopOverManyParameters)
{
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> k1(0.1f, 1.0f), k2(0.0f, 32.0f), k3(0.0f, 0.2f), phase(-300.0f, 0.0f);
    std::uniform_int_distribution<int> side(1, 200);
    for (int round = 0; round < 300; ++round) {
        int width = side(random);
        int height = side(random);
        if (round % 25 == 0) {
            width = 768;
            height = 1024;
        }
        ReflectionParameters p{.K1 = k1(random), .K2 = k2(random), .K3 = k3(random)};
        p.step_x = p.step_y = round % 3 == 0 ? 0.0f : phase(random);
        if (round % 7 == 0)
            p.K3 = kK3Slider.maximum; // the largest shifts, far past both edges
        auto source = positionPicture(width, height);
        int rows = 0;
        auto water = render(source, width, height, p, &rows);
        auto expected = referenceWater(source, width, height, p);
        ASSERT_EQ(water.size(), expected.size()) << width << "×" << height;
        ASSERT_EQ(water, expected) << "round " << round << ", " << width << "×" << height << " K1=" << p.K1
                                   << " K2=" << p.K2 << " K3=" << p.K3 << " phase=" << p.step_x;
    }
}

TEST(ReflectionRenderer, PhasesThatDifferAndShiftsNearWholeNumbers)
{
    // The float sum j + dx can round up across a whole number at larger j only; sweep
    // amplitudes so that dx lands just below whole numbers at many magnitudes.
    auto source = positionPicture(768, 64);
    for (int i = 0; i < 400; ++i) {
        ReflectionParameters p{.K1 = 1,
                               .K2 = 0,
                               .K3 = std::nextafter(static_cast<float>(i % 40 + 1) / 63.0f, 0.0f),
                               .step_x = 1.5707964f + static_cast<float>(i) * 1e-4f,
                               .step_y = -static_cast<float>(i)};
        ASSERT_EQ(render(source, 768, 64, p), referenceWater(source, 768, 64, p)) << i;
    }
}

TEST(ReflectionRenderer, EdgeCases)
{
    auto source = positionPicture(8, 10);
    int rows = -1;

    // No amplitude: the visible part exactly mirrored.
    auto still = render(source, 8, 10, {.K1 = 1, .K2 = 3, .K3 = 0}, &rows);
    ASSERT_EQ(rows, 10);
    for (int e = 0; e < 10; ++e)
        for (int j = 0; j < 8; ++j)
            EXPECT_EQ(still[e * 8 + j], source[(9 - e) * 8 + j]);

    // Row 0 is never displaced; the clamp is to the visible part, not the picture.
    auto half = render(source, 8, 10, {.K1 = 0.5f, .K2 = 7, .K3 = 0.2f, .step_x = -2, .step_y = -2}, &rows);
    ASSERT_EQ(rows, 5);
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(half[j], source[4 * 8 + j]);
    for (auto pixel : half)
        EXPECT_LE(pixel >> 16, 4u);

    // Fewer rows than 1 / K1: nothing rendered.
    EXPECT_TRUE(render(positionPicture(8, 9), 8, 9, {.K1 = 0.1f}, &rows).empty());
    EXPECT_EQ(rows, 0);
    // One column: every shift repeats the only pixel.
    auto single = positionPicture(1, 50);
    EXPECT_EQ(render(single, 1, 50, {.K3 = 0.2f, .step_x = -1.3f}),
              referenceWater(single, 1, 50, {.K3 = 0.2f, .step_x = -1.3f}));
}

TEST(ReflectionRenderer, WaterHeightAndCapacity)
{
    EXPECT_EQ(waterHeight(1.0f, 640), 640);
    EXPECT_EQ(waterHeight(0.5f, 512), 256);
    EXPECT_EQ(waterHeight(0.1f, 9), 0);
    EXPECT_EQ(waterHeight(0.1f, 10), 1);

    std::vector<std::uint32_t> water(kWaterBufferWords);
    auto exact = positionPicture(768, 1024);
    EXPECT_EQ(renderReflection({exact.data(), 768, 1024}, {.K1 = 1}, water), 1024);
    auto tooTall = positionPicture(768, 1025);
    EXPECT_EQ(renderReflection({tooTall.data(), 768, 1025}, {.K1 = 1}, water), 0);
    EXPECT_EQ(renderReflection({tooTall.data(), 768, 1025}, {.K1 = 0.5f}, water), 512);
}

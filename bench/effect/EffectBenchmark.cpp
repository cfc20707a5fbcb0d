// The reflection renderer against its floor (a memcpy of the same bytes) and against the
// plain per-pixel loop, and photo loading with and without DCT-scaled decoding.
//
//     build/bench/bin/bench_effect
#include <waterline/effect/AlbumTargetSize.h>
#include <waterline/effect/EffectState.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/effect/ReflectionRenderer.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace waterline;

namespace {

constexpr ReflectionParameters kParameters{.K1 = 1, .K2 = 3, .K3 = 0.04f, .step_x = -1.7f, .step_y = -1.7f};

std::vector<std::uint32_t> sourcePicture(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) | 0xFF;
    return pixels;
}

// The rules as written, row quantities once per row, every pixel's column computed,
// truncated, clamped and copied on its own.
void renderPerPixel(const std::uint32_t* source, int width, int height, const ReflectionParameters& p,
                    std::uint32_t* water)
{
    int H = static_cast<int>(p.K1 * static_cast<float>(height));
    for (int e = 0; e < H; ++e) {
        float L = log2f(static_cast<float>(e + 1));
        float verticalPhase = p.K2 * L + p.step_y;
        float dy = static_cast<float>(((double)e * 0.1) * (double)p.K3 * std::sin((double)verticalPhase));
        int row = static_cast<int>(static_cast<float>(H - 1 - e) + dy);
        row = row < 0 ? 0 : (row > H - 1 ? H - 1 : row);
        float horizontalPhase = p.K2 * L + p.step_x;
        float dx = static_cast<float>((double)((float)e * p.K3) * std::sin((double)horizontalPhase));
        const std::uint32_t* sourceRow = source + static_cast<std::size_t>(row) * width;
        std::uint32_t* waterRow = water + static_cast<std::size_t>(e) * width;
        for (int j = 0; j < width; ++j) {
            int column = static_cast<int>(static_cast<float>(j) + dx);
            column = column < 0 ? 0 : (column > width - 1 ? width - 1 : column);
            waterRow[j] = sourceRow[column];
        }
    }
}

struct RenderSetup {
    std::vector<std::uint32_t> source;
    std::vector<std::uint32_t> water = std::vector<std::uint32_t>(kWaterBufferWords);
    int width, height;

    RenderSetup(int w, int h)
        : source(sourcePicture(w, h))
        , width(w)
        , height(h)
    {
    }
    std::size_t bytes() const { return static_cast<std::size_t>(width) * waterHeight(kParameters.K1, height) * 4; }
};

void setBytes(benchmark::State& state, std::size_t bytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_Render(benchmark::State& state)
{
    RenderSetup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint32_t> expected(kWaterBufferWords);
    renderPerPixel(setup.source.data(), setup.width, setup.height, kParameters, expected.data());
    renderReflection({setup.source.data(), setup.width, setup.height}, kParameters, setup.water);
    if (std::memcmp(setup.water.data(), expected.data(), setup.bytes()) != 0)
        state.SkipWithError("the renderer and the per-pixel loop disagree");
    for (auto _ : state) {
        renderReflection({setup.source.data(), setup.width, setup.height}, kParameters, setup.water);
        benchmark::DoNotOptimize(setup.water.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, setup.bytes());
}

void BM_RenderPerPixelLoop(benchmark::State& state)
{
    RenderSetup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        renderPerPixel(setup.source.data(), setup.width, setup.height, kParameters, setup.water.data());
        benchmark::DoNotOptimize(setup.water.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, setup.bytes());
}

void BM_MemcpyFloor(benchmark::State& state)
{
    RenderSetup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        std::memcpy(setup.water.data(), setup.source.data(), setup.bytes());
        benchmark::DoNotOptimize(setup.water.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, setup.bytes());
}

// A 4032 × 3024 photo, as a phone takes it, with enough detail to cost a real decode.
const std::vector<std::uint8_t>& phonePhoto()
{
    static const std::vector<std::uint8_t> jpeg = [] {
        auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {4032, 3024});
        for (int y = 0; y < 3024; ++y)
            for (int x = 0; x < 4032; ++x) {
                std::uint8_t* p = raster->row(y) + 4 * x;
                p[0] = 255;
                p[1] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.01 + y * 0.003));
                p[2] = static_cast<std::uint8_t>((x * y) >> 9);
                p[3] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
            }
        return *PictureFile::encodeJPEG(*raster, 0.9f);
    }();
    return jpeg;
}

void loadFitted(benchmark::State& state, bool scaled)
{
    const auto& jpeg = phonePhoto();
    for (auto _ : state) {
        auto info = PictureFile::probe(jpeg);
        SizeF target = albumTargetSize(info->uprightSize());
        PictureDecodeOptions options;
        if (scaled)
            options.coverSize = Size{static_cast<int>(target.width), static_cast<int>(target.height)};
        auto decoded = PictureFile::decode(jpeg, options);
        auto fitted = fixOrientation(**decoded, target);
        if (!fitted || fitted->size() != SizeF(682, 512))
            state.SkipWithError("the photo did not come out at 682 × 512");
        benchmark::DoNotOptimize(fitted.get());
    }
}

void BM_LoadPhotoFullDecode(benchmark::State& state)
{
    loadFitted(state, false);
}
void BM_LoadPhotoScaledDecode(benchmark::State& state)
{
    loadFitted(state, true);
}

// A camera frame: 640 × 480 BGRA, turned upright to 480 × 640 ARGB.
void BM_CameraFrameFixOrientation(benchmark::State& state)
{
    std::shared_ptr<PixelBuffer> frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, {640, 480});
    std::memset(frame->data(), 0x7F, frame->byteCount());
    auto picture = Picture::create(frame, PictureOrientation::Right);
    for (auto _ : state)
        benchmark::DoNotOptimize(fixOrientation(*picture, {480, 640}).get());
}

} // namespace

BENCHMARK(BM_Render)->Args({768, 512})->Args({480, 640});
BENCHMARK(BM_MemcpyFloor)->Args({768, 512})->Args({480, 640});
BENCHMARK(BM_RenderPerPixelLoop)->Args({768, 512})->Args({480, 640});
BENCHMARK(BM_LoadPhotoFullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPhotoScaledDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CameraFrameFixOrientation)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// Writing one 768 × 1024 screen: the colour conversion alone (opaque pixels take the
// short path, translucent ones divide), beside the PNG and JPEG encoders that call it,
// so the share of the conversion in a screenshot is visible as a ratio. Reading a camera
// photo: our JPEG decoder (libjpeg's interface, every warning judged) beside TurboJPEG's
// own one-call decode of the same file, full size and at the 1/4 scale the album uses.
#include <waterline/image/JpegCodec.h>
#include <waterline/image/PixelConversion.h>
#include <waterline/image/PngCodec.h>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cmath>
#include <optional>
#include <vector>

namespace waterline {
namespace {

enum class Opacity { Opaque, Translucent };

const PixelBuffer& screen(Opacity opacity)
{
    static auto make = [](Opacity kind) {
        auto buffer = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, {768, 1024});
        for (int y = 0; y < buffer->height(); ++y) {
            std::uint8_t* p = buffer->row(y);
            for (int x = 0; x < buffer->width(); ++x, p += 4) {
                unsigned alpha = kind == Opacity::Opaque ? 255 : 64 + (x + y) % 192;
                p[3] = static_cast<std::uint8_t>(alpha);
                p[2] = image::multiply255(static_cast<unsigned>(128 + 100 * std::sin(x * 0.01)), alpha);
                p[1] = image::multiply255(static_cast<unsigned>((x * y) >> 10) & 0xFF, alpha);
                p[0] = image::multiply255(static_cast<unsigned>(x ^ y) & 0xFF, alpha);
            }
        }
        return buffer;
    };
    static const auto opaque = make(Opacity::Opaque);
    static const auto translucent = make(Opacity::Translucent);
    return opacity == Opacity::Opaque ? *opaque : *translucent;
}

void setPixels(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * 768 * 1024);
}

void straightRGBA(benchmark::State& state, Opacity opacity)
{
    const auto& pixels = screen(opacity);
    for (auto _ : state)
        benchmark::DoNotOptimize(image::straightRGBA(pixels).data());
    setPixels(state);
}

void encodePNG(benchmark::State& state, Opacity opacity)
{
    const auto& pixels = screen(opacity);
    for (auto _ : state)
        benchmark::DoNotOptimize(image::encodePNG(pixels)->data());
    setPixels(state);
}

void encodeJPEG(benchmark::State& state)
{
    const auto& pixels = screen(Opacity::Opaque);
    for (auto _ : state)
        benchmark::DoNotOptimize(image::encodeJPEG(pixels, 0.9f)->data());
    setPixels(state);
}

const std::vector<std::uint8_t>& cameraPhoto()
{
    static const auto jpeg = [] {
        auto buffer = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {3264, 2448});
        for (int y = 0; y < buffer->height(); ++y) {
            std::uint8_t* p = buffer->row(y);
            for (int x = 0; x < buffer->width(); ++x, p += 4) {
                p[0] = 255;
                p[1] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.01));
                p[2] = static_cast<std::uint8_t>((x * y) >> 12);
                p[3] = static_cast<std::uint8_t>(x ^ y);
            }
        }
        return *image::encodeJPEG(*buffer, 0.9f);
    }();
    return jpeg;
}

void decodeJPEG(benchmark::State& state)
{
    const auto& jpeg = cameraPhoto();
    std::optional<Size> cover;
    if (state.range(0) > 1)
        cover = Size{3264 / static_cast<int>(state.range(0)), 2448 / static_cast<int>(state.range(0))};
    for (auto _ : state)
        benchmark::DoNotOptimize(image::decodeJPEG(jpeg, {.coverSize = cover})->raster->data());
}

void turboJPEGDecode(benchmark::State& state)
{
    const auto& jpeg = cameraPhoto();
    tjhandle handle = tjInitDecompress();
    tjscalingfactor scale{1, static_cast<int>(state.range(0))};
    int width = TJSCALED(3264, scale), height = TJSCALED(2448, scale);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (auto _ : state) {
        tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels.data(), width, width * 4, height, TJPF_ARGB, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
}

BENCHMARK_CAPTURE(straightRGBA, opaque, Opacity::Opaque)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(straightRGBA, translucent, Opacity::Translucent)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodePNG, opaque, Opacity::Opaque)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodePNG, translucent, Opacity::Translucent)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeJPEG)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(turboJPEGDecode)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace waterline

BENCHMARK_MAIN();

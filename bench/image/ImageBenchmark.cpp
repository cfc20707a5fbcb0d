// Writing one 768 × 1024 screen: the colour conversion alone (opaque pixels take the
// short path, translucent ones divide), beside the PNG and JPEG encoders that call it,
// so the share of the conversion in a screenshot is visible as a ratio.
#include <waterline/image/JpegCodec.h>
#include <waterline/image/PixelConversion.h>
#include <waterline/image/PngCodec.h>

#include <benchmark/benchmark.h>

#include <cmath>

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

BENCHMARK_CAPTURE(straightRGBA, opaque, Opacity::Opaque)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(straightRGBA, translucent, Opacity::Translucent)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodePNG, opaque, Opacity::Opaque)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodePNG, translucent, Opacity::Translucent)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeJPEG)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace waterline

BENCHMARK_MAIN();

// The screen's per-frame drawing cost off screen: every frame the water view gets a new
// 768 × 512 picture, as the renderer delivers it 50 times a second, and the window
// redraws what changed. Measured beside the same frame with the water picture in the
// canvas's own byte order (no conversion), beside a full-screen redraw of every frame
// (what skipping the dirty areas saves), and beside a bare copy of the picture's bytes
// (the floor any redraw pays).
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/Slider.h>
#include <waterline/ui/Window.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace waterline;

namespace {

std::shared_ptr<const PixelBuffer> opaquePicture(PixelFormat format, int width, int height, int seed)
{
    std::shared_ptr<PixelBuffer> p = PixelBuffer::create(format, {width, height});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p->row(y) + x * 4;
            auto v = static_cast<std::uint8_t>((x + y + seed) & 0xff);
            if (format == PixelFormat::ARGB32Premultiplied)
                px[0] = 255, px[1] = v, px[2] = static_cast<std::uint8_t>(y), px[3] = 200;
            else
                px[0] = 200, px[1] = static_cast<std::uint8_t>(y), px[2] = v, px[3] = 255;
        }
    return p;
}

// The main screen's views with the sliders shown, as in the album-photo mode.
struct Screen {
    Window window;
    ImageView* picture;
    ImageView* water;

    explicit Screen(PixelFormat format)
    {
        View& root = window.rootView();
        picture = &root.add<ImageView>(RectF{0, 0, 768, 512});
        picture->setContentMode(ContentMode::Top);
        picture->setClipsToBounds(true);
        picture->setImage(opaquePicture(format, 768, 512, 7));
        water = &root.add<ImageView>(RectF{0, 512, 768, 1024});
        water->setContentMode(ContentMode::Top);
        auto& controls = root.add<View>(RectF{0, 0, 768, 1024});
        auto icon = opaquePicture(PixelFormat::ARGB32Premultiplied, 52, 52, 1);
        for (double x : {0.0, 60.0, 648.0, 708.0})
            controls.add<Button>(Button::Custom, RectF{x, 964, 60, 60}).setImage(icon, ControlState::Normal);
        struct SliderSpec {
            bool vertical;
            RectF frame;
        };
        for (SliderSpec s : {SliderSpec{true, {0, 126, 60, 838}}, SliderSpec{true, {708, 126, 60, 838}},
                             SliderSpec{false, {120, 964, 264, 60}}, SliderSpec{false, {384, 964, 264, 60}}}) {
            auto& slider = root.add<Slider>();
            slider.setValue(0.5f);
            if (s.vertical)
                slider.setRotation(-1.5707964);
            slider.setFrame(s.frame);
        }
        window.render();
    }
};

void frames(benchmark::State& state, PixelFormat format, bool wholeScreen)
{
    Screen screen(format);
    std::vector<std::shared_ptr<const PixelBuffer>> waters{opaquePicture(format, 768, 512, 0),
                                                           opaquePicture(format, 768, 512, 50)};
    std::size_t i = 0;
    for (auto _ : state) {
        screen.water->setImage(waters[i++ % 2]);
        if (wholeScreen)
            screen.window.markAllDirty();
        auto redrawn = screen.window.render();
        benchmark::DoNotOptimize(redrawn.data());
    }
}

void BM_FrameDirtyAreasEngineByteOrder(benchmark::State& state)
{
    frames(state, PixelFormat::ARGB32Premultiplied, false);
}
void BM_FrameDirtyAreasCanvasByteOrder(benchmark::State& state)
{
    frames(state, PixelFormat::BGRA32Premultiplied, false);
}
void BM_FrameWholeScreenEngineByteOrder(benchmark::State& state)
{
    frames(state, PixelFormat::ARGB32Premultiplied, true);
}

void BM_CopyWaterBytes(benchmark::State& state)
{
    auto source = opaquePicture(PixelFormat::ARGB32Premultiplied, 768, 512, 0);
    auto target = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {768, 512});
    for (auto _ : state) {
        std::memcpy(target->data(), source->data(), source->byteCount());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_CopyWaterBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameDirtyAreasCanvasByteOrder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameDirtyAreasEngineByteOrder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameWholeScreenEngineByteOrder)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

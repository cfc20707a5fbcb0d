// The running main screen, off screen, as the application runs it: the frame chain
// renders the reflection of a 768 × 512 photo every tick, the window redraws what
// changed and presents it. Measured over a stretch of wall time (10 s, or
// $WATERLINE_BENCH_SECONDS): frames presented per second and the process's CPU time
// per frame (every thread). Beside it, the reflection renderer alone on the same
// picture, so the share of the frame that is the effect itself is plain.
#include <waterline/app/ViewController.h>
#include <waterline/effect/ReflectionRenderer.h>
#include <waterline/foundation/Timer.h>
#include <waterline/settings/UserDefaults.h>
#include <waterline/ui/Application.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

using namespace waterline;

namespace {

double processCPUSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double benchSeconds()
{
    const char* text = std::getenv("WATERLINE_BENCH_SECONDS");
    double seconds = text ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 10;
}

std::shared_ptr<Picture> photo(int width, int height)
{
    std::shared_ptr<PixelBuffer> raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {width, height});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = raster->row(y) + x * 4;
            p[0] = 255;
            p[1] = static_cast<std::uint8_t>(x * 255 / width);
            p[2] = static_cast<std::uint8_t>(y * 255 / height);
            p[3] = static_cast<std::uint8_t>((x ^ y) & 0xff);
        }
    }
    return Picture::create(std::move(raster));
}

void BM_RunningScreen(benchmark::State& state)
{
    auto scratch = std::filesystem::temp_directory_path() / "waterline-bench-app";
    std::filesystem::create_directories(scratch / "Pictures");
    for (auto _ : state) {
        auto app = Application::create({.offscreen = true}).releaseValue();
        UserDefaults defaults(scratch / "config");
        // No prompt over the picture.
        if (!defaults.setBool("rated", true) || !defaults.setBool("more", true))
            state.SkipWithError("cannot write the settings");
        ViewController::Environment environment;
        environment.defaults = &defaults;
        environment.picturesDirectory = scratch / "Pictures";
        environment.cameraCount = 1;
        ViewController controller(app->window(), environment);
        controller.viewDidLoad();
        controller.imagePickerController({photo(768, 512), {768, 512}});

        // Settle, then measure a stretch of the running screen.
        performAfterDelay(0.5, [&] { app->quit(); });
        app->run();
        double seconds = benchSeconds();
        auto presentsBefore = app->presentCount();
        double cpuBefore = processCPUSeconds();
        auto wallBefore = std::chrono::steady_clock::now();
        performAfterDelay(seconds, [&] { app->quit(); });
        app->run();
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        double cpu = processCPUSeconds() - cpuBefore;
        double frames = static_cast<double>(app->presentCount() - presentsBefore);

        state.counters["frames_per_s"] = frames / wall;
        state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1000 / frames : 0;
        state.counters["cpu_share"] = cpu / wall;
    }
    std::filesystem::remove_all(scratch);
}
BENCHMARK(BM_RunningScreen)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReflectionRendererAlone(benchmark::State& state)
{
    auto source = photo(768, 512);
    std::vector<std::uint32_t> water(768 * 1024);
    ReflectionParameters parameters{.K1 = 1, .K2 = 3, .K3 = 0.04f};
    ReflectionSource input{reinterpret_cast<const std::uint32_t*>(source->raster().data()), 768, 512};
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderReflection(input, parameters, water));
        parameters.step_x -= 0.1f;
        parameters.step_y -= 0.1f;
    }
}
BENCHMARK(BM_ReflectionRendererAlone)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

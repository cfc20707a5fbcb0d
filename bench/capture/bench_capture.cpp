// The cost of one camera frame on its way to the screen, beside the cheapest thing one
// could do with a 640 × 480 frame (copy it) and beside the work the sources themselves
// do per frame (drawing the synthetic scene, decoding a V4L2 camera's YUYV or MJPEG).
// The budget is under a millisecond per frame for the pipeline, against 83 ms between
// frames at 12 a second.
#include <waterline/capture/CameraPipeline.h>
#include <waterline/capture/FrameConverter.h>
#include <waterline/capture/SyntheticCamera.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/SerialQueue.h>

#include <benchmark/benchmark.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

namespace waterline {
namespace {

std::unique_ptr<PixelBuffer> syntheticFrame()
{
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    SyntheticCamera(0).drawFrame(*frame, 17);
    return frame;
}

void BM_CopyFrame(benchmark::State& state)
{
    auto frame = syntheticFrame();
    auto copy = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    for (auto _ : state) {
        std::memcpy(copy->data(), frame->data(), frame->byteCount());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyFrame);

// Wrap, tag, turn upright and stretch to 480 × 640: the pipeline's work on the queue.
void BM_UprightPicture(benchmark::State& state)
{
    auto frame = syntheticFrame();
    auto cameraid = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(CameraPipeline::uprightPicture(*frame, cameraid));
}
BENCHMARK(BM_UprightPicture)->Arg(0)->Arg(1);

// The whole pipeline as it runs: the frame handed to "cameraQueue", turned upright,
// handed synchronously to the main thread (this one, turning its run loop), flagged.
void BM_CaptureOutput(benchmark::State& state)
{
    auto frame = syntheticFrame();
    EffectState effect;
    effect.cameraing = true;
    effect.cameraid = 0;
    std::shared_ptr<Picture> shown;
    CameraPipeline pipeline(effect, [&](std::shared_ptr<Picture> picture) { shown = std::move(picture); });
    SerialQueue cameraQueue("cameraQueue");
    for (auto _ : state) {
        cameraQueue.async([&] { pipeline.captureOutput(*frame); });
        while (!effect.newimg_camera)
            RunLoop::main().runMode(kDefaultRunLoopMode, 0.01, true);
        effect.newimg_camera = false;
    }
}
BENCHMARK(BM_CaptureOutput)->UseRealTime();

void BM_SyntheticFrame(benchmark::State& state)
{
    SyntheticCamera camera(0);
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    std::uint64_t number = 0;
    for (auto _ : state) {
        camera.drawFrame(*frame, number++);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SyntheticFrame);

void BM_ConvertYUYV(benchmark::State& state)
{
    auto converter = FrameConverter::standalone();
    std::vector<std::uint8_t> yuyv(640 * 480 * 2);
    for (std::size_t i = 0; i < yuyv.size(); ++i)
        yuyv[i] = static_cast<std::uint8_t>(i * 7);
    V4L2FrameFormat format{V4L2_PIX_FMT_YUYV, kCameraFrameSize, 1280, 1280 * 480};
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    for (auto _ : state)
        if (!converter->convert(format, yuyv, *frame))
            state.SkipWithError("YUYV conversion failed");
}
BENCHMARK(BM_ConvertYUYV);

void BM_ConvertMJPEG(benchmark::State& state)
{
    auto source = syntheticFrame();
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    tjCompress2(encoder, source->data(), 640, static_cast<int>(source->stride()), 480, TJPF_BGRA, &jpeg, &jpegSize,
                TJSAMP_422, 85, 0);
    std::vector<std::uint8_t> bytes(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    tjDestroy(encoder);

    auto converter = FrameConverter::standalone();
    V4L2FrameFormat format{V4L2_PIX_FMT_MJPEG, kCameraFrameSize, 0, static_cast<std::uint32_t>(bytes.size())};
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    for (auto _ : state)
        if (!converter->convert(format, bytes, *frame))
            state.SkipWithError("MJPEG conversion failed");
}
BENCHMARK(BM_ConvertMJPEG);

} // namespace
} // namespace waterline

BENCHMARK_MAIN();

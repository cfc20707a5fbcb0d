#include <waterline/capture/SyntheticCamera.h>

#include "BitmapFont.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace waterline {

namespace {

constexpr int kUprightWidth = kCameraFrameSize.height; // 480
constexpr int kUprightHeight = kCameraFrameSize.width; // 640

struct Colour {
    std::uint8_t red, green, blue;
};

// A pixel word whose bytes in memory are blue, green, red, alpha (opaque, so the
// premultiplication is trivial).
std::uint32_t bgraWord(Colour c)
{
    const std::uint8_t bytes[4] = {c.blue, c.green, c.red, 0xFF};
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

Colour lighten(Colour c)
{
    auto up = [](std::uint8_t v) { return static_cast<std::uint8_t>(v + (255 - v) / 2); };
    return {up(c.red), up(c.green), up(c.blue)};
}

// Draws in upright coordinates into a buffer laid out like the camera's sensor frame.
class UprightCanvas {
public:
    UprightCanvas(int cameraIndex, std::uint32_t* words, std::size_t strideWords)
        : m_cameraIndex(cameraIndex)
        , m_words(words)
        , m_strideWords(strideWords)
    {
    }

    void set(int x, int y, std::uint32_t word)
    {
        if (x < 0 || y < 0 || x >= kUprightWidth || y >= kUprightHeight)
            return;
        auto at = SyntheticCamera::sensorPositionOf(m_cameraIndex, x, y);
        m_words[static_cast<std::size_t>(at.row) * m_strideWords + at.column] = word;
    }

    void fillRect(int x, int y, int width, int height, std::uint32_t word)
    {
        for (int row = y; row < y + height; ++row)
            for (int column = x; column < x + width; ++column)
                set(column, row, word);
    }

    // An upward arrow: a triangle head over a shaft, centred on `centreX`.
    void drawArrow(int centreX, int top, int headHeight, int headWidth, int shaftWidth, int shaftHeight,
                   std::uint32_t word)
    {
        for (int row = 0; row < headHeight; ++row) {
            int half = (headWidth / 2) * (row + 1) / headHeight;
            fillRect(centreX - half, top + row, 2 * half + 1, 1, word);
        }
        fillRect(centreX - shaftWidth / 2, top + headHeight, shaftWidth, shaftHeight, word);
    }

    void drawText(const std::string& text, int x, int y, int scale, std::uint32_t word)
    {
        for (char c : text) {
            if (auto glyph = glyphFor(c)) {
                for (int row = 0; row < Glyph::kHeight; ++row)
                    for (int column = 0; column < Glyph::kWidth; ++column)
                        if (glyph->isSet(column, row))
                            fillRect(x + column * scale, y + row * scale, scale, scale, word);
            }
            x += (Glyph::kWidth + 1) * scale;
        }
    }

private:
    int m_cameraIndex;
    std::uint32_t* m_words;
    std::size_t m_strideWords;
};

// Each camera gets its own backdrop, so a switch is visible at a glance.
Colour backdropFor(int index)
{
    switch (index) {
    case 0:
        return {30, 60, 140};
    case 1:
        return {30, 120, 60};
    default:
        return {110, 40, 120};
    }
}

constexpr int kMarkerSize = 24;
constexpr int kSquareSize = 48;
constexpr int kSquareTop = 530;
constexpr int kSquareStep = 8; // pixels per frame

} // namespace

SyntheticCamera::SensorPixel SyntheticCamera::sensorPositionOf(int cameraIndex, int x, int y)
{
    // The back camera's frame is turned 90° clockwise to stand upright: upright (x, y) is
    // frame (y, 479 − x). Any other camera's frame is transposed: upright (x, y) is
    // frame (y, x).
    if (cameraIndex == 0)
        return {y, kCameraFrameSize.height - 1 - x};
    return {y, x};
}

SyntheticCamera::SyntheticCamera(int index, double framesPerSecond)
    : m_index(index)
    , m_name("CAM " + std::to_string(index))
    , m_hasLights(index == 1)
    , m_period(std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 / std::max(framesPerSecond, 0.1))))
{
    m_background = composeBackground(false);
    if (m_hasLights)
        m_litBackground = composeBackground(true);
}

SyntheticCamera::~SyntheticCamera()
{
    stopRunning();
}

std::vector<std::uint32_t> SyntheticCamera::composeBackground(bool lit) const
{
    const auto width = static_cast<std::size_t>(kCameraFrameSize.width);
    std::vector<std::uint32_t> words(width * kCameraFrameSize.height);
    UprightCanvas canvas(m_index, words.data(), width);

    // A vertical gradient: darker towards the bottom, which also shows which way is up.
    Colour top = backdropFor(m_index);
    if (lit)
        top = lighten(top);
    for (int y = 0; y < kUprightHeight; ++y) {
        auto shade
            = [&](std::uint8_t v) { return static_cast<std::uint8_t>(v * (kUprightHeight - y / 2) / kUprightHeight); };
        canvas.fillRect(0, y, kUprightWidth, 1, bgraWord({shade(top.red), shade(top.green), shade(top.blue)}));
    }

    // Corner markers, all different, so any turn or mirror moves a recognisable colour.
    canvas.fillRect(0, 0, kMarkerSize, kMarkerSize, bgraWord({255, 0, 0}));
    canvas.fillRect(kUprightWidth - kMarkerSize, 0, kMarkerSize, kMarkerSize, bgraWord({0, 255, 0}));
    canvas.fillRect(0, kUprightHeight - kMarkerSize, kMarkerSize, kMarkerSize, bgraWord({255, 255, 0}));
    canvas.fillRect(kUprightWidth - kMarkerSize, kUprightHeight - kMarkerSize, kMarkerSize, kMarkerSize,
                    bgraWord({255, 0, 255}));

    // Below the top 128 rows, which the screen's layout lifts above its top edge at the
    // full reflection height.
    canvas.drawArrow(kUprightWidth / 2, 150, 110, 200, 60, 160, bgraWord({250, 250, 250}));

    const int scale = 8;
    const int textWidth = static_cast<int>(m_name.size()) * (Glyph::kWidth + 1) * scale - scale;
    canvas.drawText(m_name, (kUprightWidth - textWidth) / 2, 440, scale, bgraWord({255, 220, 40}));
    return words;
}

void SyntheticCamera::drawFrame(PixelBuffer& frame, std::uint64_t frameNumber) const
{
    if (frame.size() != kCameraFrameSize || frame.format() != PixelFormat::BGRA32Premultiplied)
        return;
    const auto& background = (m_torchOn && m_hasLights) ? m_litBackground : m_background;
    const auto rowBytes = static_cast<std::size_t>(kCameraFrameSize.width) * sizeof(std::uint32_t);
    for (int row = 0; row < kCameraFrameSize.height; ++row)
        std::memcpy(frame.row(row), background.data() + static_cast<std::size_t>(row) * kCameraFrameSize.width,
                    rowBytes);

    // The moving square runs to and fro across the picture's width.
    const int travel = kUprightWidth - kSquareSize;
    const int position = static_cast<int>((frameNumber * kSquareStep) % (2 * travel));
    const int x = position <= travel ? position : 2 * travel - position;
    UprightCanvas canvas(m_index, reinterpret_cast<std::uint32_t*>(frame.data()),
                         frame.stride() / sizeof(std::uint32_t));
    canvas.fillRect(x, kSquareTop, kSquareSize, kSquareSize, bgraWord({240, 120, 20}));
}

void SyntheticCamera::setTorchMode(TorchMode mode)
{
    if (m_hasLights)
        m_torchOn = mode == TorchMode::On;
}

void SyntheticCamera::setFlashMode(FlashMode)
{
    // The flash would fire only for still pictures, which this camera never takes.
}

bool SyntheticCamera::startRunning(FrameSink& sink)
{
    stopRunning();
    m_stopRequested = false;
    m_producer = std::thread([this, &sink] { produceFrames(sink); });
    return true;
}

void SyntheticCamera::stopRunning()
{
    if (!m_producer.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    m_producer.join();
}

void SyntheticCamera::produceFrames(FrameSink& sink)
{
    using Clock = std::chrono::steady_clock;
    auto nextFrame = Clock::now();
    for (std::uint64_t frameNumber = 0;; ++frameNumber) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, nextFrame, [this] { return m_stopRequested; }))
                return;
        }
        sink.offerFrame([this, frameNumber](PixelBuffer& frame) {
            drawFrame(frame, frameNumber);
            return true;
        });
        // A late frame does not make the next ones come faster to catch up.
        nextFrame = std::max(nextFrame + m_period, Clock::now());
    }
}

} // namespace waterline

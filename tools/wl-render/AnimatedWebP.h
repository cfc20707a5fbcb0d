// An animated, lossless WebP built frame by frame (libwebp's animation encoder), each
// frame shown for 20 ms like one tick of the frame chain.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct WebPAnimEncoder;

namespace waterline::render {

class AnimatedWebP {
public:
    static constexpr int kFrameMilliseconds = 20;

    // An error when the encoder cannot be made.
    static ErrorOr<std::unique_ptr<AnimatedWebP>> create(Size);
    ~AnimatedWebP();

    // Adds a frame of the animation's size.
    ErrorOr<void> addFrame(const PixelBuffer&);
    // Ends the animation and returns the file's bytes.
    ErrorOr<std::vector<std::uint8_t>> finish();

private:
    AnimatedWebP(WebPAnimEncoder*, Size);

    WebPAnimEncoder* m_encoder;
    Size m_size;
    int m_timestamp = 0;
};

} // namespace waterline::render

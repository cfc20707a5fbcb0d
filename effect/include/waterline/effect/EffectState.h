// The whole state of the reflection effect: the source and water buffers, their sizes,
// the four effect parameters mirrored from the sliders, the ripple phases and the flags
// that tell the frame chain a new picture is on display.
//
// Every buffer is premultiplied ARGB: one 32-bit word per pixel, bytes A, R, G, B in
// memory, rows top first, stride exactly width × 4 bytes, pixel (x, y) at word
// y × width + x. The renderer moves whole words, so a pixel reaches the screen exactly
// as the source buffer holds it.
//
// Everything here belongs to the main thread except `cameraid`, `cameraing` and
// `newimg_camera`, which the camera queue reads or sets; those three are atomic.
#pragma once

#include <waterline/foundation/Geometry.h>
#include <waterline/foundation/PixelBuffer.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

namespace waterline {

// A slider's range and the value it starts at.
struct SliderSetting {
    float minimum;
    float maximum;
    float startingValue;
};

inline constexpr SliderSetting kK1Slider{0.1f, 1.0f, 1.0f};  // reflection height
inline constexpr SliderSetting kK2Slider{0.0f, 32.0f, 3.0f}; // ripple frequency
inline constexpr SliderSetting kK3Slider{0.0f, 0.2f, 0.04f}; // ripple amplitude
inline constexpr SliderSetting kK4Slider{0.0f, 0.4f, 0.1f};  // ripple speed

// The water buffer's fixed capacity: a 768 × 1024 picture, 786,432 words.
inline constexpr Size kWaterBufferCapacity{768, 1024};
inline constexpr std::size_t kWaterBufferWords
    = static_cast<std::size_t>(kWaterBufferCapacity.width) * kWaterBufferCapacity.height;

struct EffectState {
    // At view load: the water buffer is allocated once from 768 × 1024, then the sizes,
    // parameters and phases start at zero.
    EffectState();

    std::atomic<std::int32_t> cameraid{0};   // 0: first (back) camera, 1: second (front)
    float K1 = 0;                            // reflection height, fraction of the picture
    float K2 = 0;                            // ripple frequency per unit of log2 distance
    float K3 = 0;                            // ripple amplitude per row of distance
    float K4 = 0;                            // phase decrement per rendered frame (radians)
    bool newimg_album = false;               // a still picture waits to be loaded
    std::atomic<bool> newimg_camera{false};  // a camera picture waits to be loaded
    std::unique_ptr<PixelBuffer> cameradata; // the water buffer, 768 × 1024 words, used linearly
    std::int32_t water_width = 0;
    std::int32_t water_height = 0;
    std::unique_ptr<PixelBuffer> originalimagedata; // the source buffer; none until the first load
    std::int32_t inputwidth = 0;
    std::int32_t inputheight = 0;
    float step_x = 0;                   // horizontal ripple phase (radians), decreases by K4 per frame
    float step_y = 0;                   // vertical ripple phase, always equal to step_x
    std::atomic<bool> cameraing{false}; // capture is running; frames are accepted only then

    // The water buffer as words; water_width × water_height of them are the picture.
    std::span<std::uint32_t> waterWords();
};

} // namespace waterline

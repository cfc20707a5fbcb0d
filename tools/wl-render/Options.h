// The command line of wl-render, parsed and checked before any file is touched.
#pragma once

#include <waterline/effect/EffectState.h>
#include <waterline/foundation/ErrorOr.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace waterline::render {

enum class OutputKind { PNG, JPEG, AnimatedWebP };

struct Options {
    std::filesystem::path input;
    std::filesystem::path output;
    OutputKind outputKind = OutputKind::PNG;
    float K1 = kK1Slider.startingValue;
    float K2 = kK2Slider.startingValue;
    float K3 = kK3Slider.startingValue;
    float K4 = kK4Slider.startingValue;
    long frame = 0;         // rendered frames before the one written
    bool waterOnly = false; // the water picture alone, not composed
    bool fit = true;        // fit into 768 × 512 as the album does
    long animateFrames = 0; // 0: a still picture
};

// The options, or an error whose description says what is wrong with the command line.
ErrorOr<Options> parseOptions(const std::vector<std::string>& arguments);

inline constexpr const char* kUsage
    = "usage: wl-render INPUT -o OUTPUT [--k1 F] [--k2 F] [--k3 F] [--k4 F] [--frame N] [--water-only] "
      "[--no-fit] [--animate FRAMES]";

} // namespace waterline::render

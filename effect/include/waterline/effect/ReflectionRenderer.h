// One frame of the water reflection: the visible top of the picture turned upside down,
// each row shifted sideways and vertically by a sine ripple that grows with the distance
// from the water line. The arithmetic is fixed to the bit (single-precision log2f, the
// sine products in double, truncation toward zero, edge clamps), so two machines show
// the same pixels; build it without fused multiply-add contraction.
//
//     int rows = renderReflection(source, {.K1 = 1, .K2 = 3, .K3 = 0.04f}, water);
#pragma once

#include <cstdint>
#include <span>

namespace waterline {

struct ReflectionSource {
    const std::uint32_t* pixels = nullptr; // inputwidth × inputheight words, tight rows
    int inputwidth = 0;
    int inputheight = 0;
};

struct ReflectionParameters {
    float K1 = 1;     // visible fraction of the picture's height
    float K2 = 3;     // ripple frequency
    float K3 = 0.04f; // ripple amplitude
    float step_x = 0; // horizontal phase
    float step_y = 0; // vertical phase
};

// The water picture's height for a picture of `inputheight` rows: K1 × inputheight in
// single precision, truncated toward zero (0 for fewer rows than 1 / K1), and never more
// than the picture has (a K1 above 1, which no slider gives, cannot read past it).
int waterHeight(float K1, int inputheight);

// Renders the water picture, inputwidth × H words with H = waterHeight(K1, inputheight),
// into the start of `water`, and returns H. Renders nothing and returns 0 when H < 1 or
// when the picture would not fit `water` (the loader never lets such a picture in).
int renderReflection(const ReflectionSource& source, const ReflectionParameters& parameters,
                     std::span<std::uint32_t> water);

} // namespace waterline

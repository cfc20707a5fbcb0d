#include <waterline/effect/AlbumTargetSize.h>

namespace waterline {

SizeF albumTargetSize(SizeF uprightSize)
{
    // Single-precision arithmetic and truncation, as the screen has always computed it:
    // a 768 × 512 photo goes through the second formula and comes out unchanged.
    auto width = static_cast<float>(uprightSize.width);
    auto height = static_cast<float>(uprightSize.height);
    int d = static_cast<int>(uprightSize.width);
    if (d >= 768)
        d = 768;
    int e = static_cast<int>((static_cast<float>(d) * height) / width);
    if (e >= 512) {
        d = static_cast<int>((width * 512.0f) / height);
        e = 512;
    }
    return {static_cast<double>(d), static_cast<double>(e)};
}

} // namespace waterline

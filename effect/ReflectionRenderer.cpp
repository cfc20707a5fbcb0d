#include <waterline/effect/ReflectionRenderer.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace waterline {

namespace {

constexpr double kVerticalDamping = 0.1;

// A position truncated toward zero and clamped to 0 … last. Decided on the float itself,
// which is the same as truncating first for every finite value and keeps the conversion
// to int inside its range whatever the input.
inline int clampedIndex(float position, int last)
{
    if (position >= static_cast<float>(last))
        return last;
    if (position >= 1.0f)
        return static_cast<int>(position);
    return 0;
}

// The first index in [low, high) where `holds` is true, for a predicate that is false
// and then true along the range; `high` when it never holds.
template <typename Predicate>
int firstWhere(int low, int high, Predicate holds)
{
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (holds(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

struct RowRipple {
    int sourceRow;
    float dx;
};

// The per-row part of the ripple: one logarithm and two sines.
RowRipple rippleForRow(int e, int height, const ReflectionParameters& p)
{
    float L = log2f(static_cast<float>(e + 1));
    float verticalPhase = p.K2 * L + p.step_y;
    float dy = static_cast<float>((static_cast<double>(e) * kVerticalDamping) * static_cast<double>(p.K3)
                                  * std::sin(static_cast<double>(verticalPhase)));
    int sourceRow = clampedIndex(static_cast<float>(height - 1 - e) + dy, height - 1);
    float horizontalPhase = p.K2 * L + p.step_x;
    float amplitude = static_cast<float>(e) * p.K3;
    float dx = static_cast<float>(static_cast<double>(amplitude) * std::sin(static_cast<double>(horizontalPhase)));
    return {sourceRow, dx};
}

// Writes source column clamp(trunc((float)j + dx)) for every j, as whole runs. The column
// is monotone in j; in the clamp-free middle it is j plus an offset that can step up by
// one where the float sum starts rounding across an integer (only once, at a larger
// magnitude), so the middle is at most a few memcpy runs found by bisection.
void copyShiftedRow(const std::uint32_t* source, int width, float dx, std::uint32_t* target)
{
    int last = width - 1;
    auto position = [dx](int j) { return static_cast<float>(j) + dx; };
    auto column = [&](int j) { return clampedIndex(position(j), last); };

    int middleBegin = firstWhere(0, width, [&](int j) { return position(j) >= 1.0f; });
    int middleEnd = firstWhere(middleBegin, width, [&](int j) { return position(j) >= static_cast<float>(last); });
    std::fill(target, target + middleBegin, source[0]);
    std::fill(target + middleEnd, target + width, source[last]);

    int runBegin = middleBegin;
    while (runBegin < middleEnd) {
        int offset = column(runBegin) - runBegin;
        int runEnd = firstWhere(runBegin + 1, middleEnd, [&](int j) { return column(j) - j != offset; });
        std::memcpy(target + runBegin, source + runBegin + offset,
                    static_cast<std::size_t>(runEnd - runBegin) * sizeof(std::uint32_t));
        runBegin = runEnd;
    }
}

} // namespace

int waterHeight(float K1, int inputheight)
{
    float rows = K1 * static_cast<float>(inputheight);
    if (!(rows >= 1.0f))
        return 0;
    if (rows >= static_cast<float>(inputheight))
        return inputheight;
    return static_cast<int>(rows);
}

int renderReflection(const ReflectionSource& source, const ReflectionParameters& parameters,
                     std::span<std::uint32_t> water)
{
    int width = source.inputwidth;
    int height = waterHeight(parameters.K1, source.inputheight);
    if (!source.pixels || width < 1 || height < 1)
        return 0;
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > water.size())
        return 0;
    for (int e = 0; e < height; ++e) {
        auto ripple = rippleForRow(e, height, parameters);
        copyShiftedRow(source.pixels + static_cast<std::size_t>(ripple.sourceRow) * width, width, ripple.dx,
                       water.data() + static_cast<std::size_t>(e) * width);
    }
    return height;
}

} // namespace waterline

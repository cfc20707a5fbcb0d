#include <waterline/effect/ReflectionRenderer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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
template <typename Predicate> int firstWhere(int low, int high, Predicate holds)
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

// Copies whole pixels. The source of a shifted row sits at any word offset from its
// target, and the C library's string-move path for mid-sized copies slows down badly
// when source and target are not mutually aligned; plain unaligned vector moves do not.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void copyPixelsAVX2(std::uint32_t* target, const std::uint32_t* source,
                                                    std::size_t count)
{
    std::size_t i = 0;
    // Unaligned head, then stores on 32-byte boundaries: only the loads straddle lines.
    if (count >= 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source)));
        i = (32 - (reinterpret_cast<std::uintptr_t>(target) & 31)) / 4;
    }
    for (; i + 32 <= count; i += 32) {
        auto* from = reinterpret_cast<const __m256i*>(source + i);
        auto* to = reinterpret_cast<__m256i*>(target + i);
        __m256i a = _mm256_loadu_si256(from);
        __m256i b = _mm256_loadu_si256(from + 1);
        __m256i c = _mm256_loadu_si256(from + 2);
        __m256i d = _mm256_loadu_si256(from + 3);
        _mm256_store_si256(to, a);
        _mm256_store_si256(to + 1, b);
        _mm256_store_si256(to + 2, c);
        _mm256_store_si256(to + 3, d);
    }
    for (; i + 8 <= count; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + i),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i)));
    if (i < count)
        std::memcpy(target + i, source + i, (count - i) * sizeof(std::uint32_t));
}

void copyPixelsSSE2(std::uint32_t* target, const std::uint32_t* source, std::size_t count)
{
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        auto* from = reinterpret_cast<const __m128i*>(source + i);
        auto* to = reinterpret_cast<__m128i*>(target + i);
        __m128i a = _mm_loadu_si128(from);
        __m128i b = _mm_loadu_si128(from + 1);
        __m128i c = _mm_loadu_si128(from + 2);
        __m128i d = _mm_loadu_si128(from + 3);
        _mm_storeu_si128(to, a);
        _mm_storeu_si128(to + 1, b);
        _mm_storeu_si128(to + 2, c);
        _mm_storeu_si128(to + 3, d);
    }
    if (i < count)
        std::memcpy(target + i, source + i, (count - i) * sizeof(std::uint32_t));
}

using CopyPixels = void (*)(std::uint32_t*, const std::uint32_t*, std::size_t);

CopyPixels pixelCopier()
{
    static const CopyPixels copier = __builtin_cpu_supports("avx2") ? copyPixelsAVX2 : copyPixelsSSE2;
    return copier;
}
#else
using CopyPixels = void (*)(std::uint32_t*, const std::uint32_t*, std::size_t);

void copyPixelsPortable(std::uint32_t* target, const std::uint32_t* source, std::size_t count)
{
    std::memcpy(target, source, count * sizeof(std::uint32_t));
}

CopyPixels pixelCopier()
{
    return copyPixelsPortable;
}
#endif

void prefetchRowStart(const std::uint32_t* row, int width)
{
    constexpr int kLines = 8;
    const char* bytes = reinterpret_cast<const char*>(row);
    int lines = std::min(kLines, (width * 4 + 63) / 64);
    for (int line = 0; line < lines; ++line)
        __builtin_prefetch(bytes + 64 * line);
}

struct RowRipple {
    int sourceRow;
    float dx;
};

// log2f(e + 1) for the rows of a full-height picture, computed once: the same values
// the maths library gives, without paying for them on every frame.
constexpr int kLogTableRows = 1024;

const float* logTable()
{
    static const auto table = [] {
        std::array<float, kLogTableRows> values{};
        for (int e = 0; e < kLogTableRows; ++e)
            values[e] = log2f(static_cast<float>(e + 1));
        return values;
    }();
    return table.data();
}

// The per-row part of the ripple: one logarithm and two sines. The phases move
// together, so the two sines are usually of the same argument and computed once.
RowRipple rippleForRow(int e, int height, const ReflectionParameters& p, const float* logs)
{
    float L = e < kLogTableRows ? logs[e] : log2f(static_cast<float>(e + 1));
    float verticalPhase = p.K2 * L + p.step_y;
    float horizontalPhase = p.K2 * L + p.step_x;
    double verticalSine = std::sin(static_cast<double>(verticalPhase));
    double horizontalSine
        = horizontalPhase == verticalPhase ? verticalSine : std::sin(static_cast<double>(horizontalPhase));
    float dy
        = static_cast<float>((static_cast<double>(e) * kVerticalDamping) * static_cast<double>(p.K3) * verticalSine);
    int sourceRow = clampedIndex(static_cast<float>(height - 1 - e) + dy, height - 1);
    float amplitude = static_cast<float>(e) * p.K3;
    float dx = static_cast<float>(static_cast<double>(amplitude) * horizontalSine);
    return {sourceRow, dx};
}

// The first column j in [0, width] whose position (float)j + dx reaches `threshold`.
// Positions grow with j, so a guess from exact arithmetic is off by at most a step or
// two of float rounding, which the two walks correct.
int firstColumnReaching(float threshold, float dx, int width)
{
    auto reaches = [&](int j) { return static_cast<float>(j) + dx >= threshold; };
    double guess = std::ceil(static_cast<double>(threshold) - static_cast<double>(dx));
    int j = guess >= 0 ? (guess <= width ? static_cast<int>(guess) : width) : (guess < 0 ? 0 : width);
    while (j > 0 && reaches(j - 1))
        --j;
    while (j < width && !reaches(j))
        ++j;
    return j;
}

// Writes source column clamp(trunc((float)j + dx)) for every j, as whole runs. The column
// is monotone in j; in the clamp-free middle it is j plus an offset that can step up by
// one where the float sum starts rounding across an integer (only once, at a larger
// magnitude), so the middle is one or two memcpy runs.
void copyShiftedRow(const std::uint32_t* source, int width, float dx, std::uint32_t* target, CopyPixels copy)
{
    int last = width - 1;
    auto column = [&](int j) { return clampedIndex(static_cast<float>(j) + dx, last); };

    int middleBegin = firstColumnReaching(1.0f, dx, width);
    int middleEnd = std::max(middleBegin, firstColumnReaching(static_cast<float>(last), dx, width));
    std::fill(target, target + middleBegin, source[0]);
    std::fill(target + middleEnd, target + width, source[last]);

    int runBegin = middleBegin;
    while (runBegin < middleEnd) {
        int offset = column(runBegin) - runBegin;
        int runEnd = middleEnd;
        if (column(middleEnd - 1) - (middleEnd - 1) != offset)
            runEnd = firstWhere(runBegin + 1, middleEnd, [&](int j) { return column(j) - j != offset; });
        copy(target + runBegin, source + runBegin + offset, static_cast<std::size_t>(runEnd - runBegin));
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
    const float* logs = logTable();
    CopyPixels copy = pixelCopier();
    // Each row's ripple is worked out one row ahead, so the start of the next source row
    // can be fetched while this one is copied: rows are read bottom-up, which the
    // hardware prefetcher only picks up a few cache lines into every row.
    auto next = rippleForRow(0, height, parameters, logs);
    for (int e = 0; e < height; ++e) {
        auto ripple = next;
        const std::uint32_t* sourceRow = source.pixels + static_cast<std::size_t>(ripple.sourceRow) * width;
        if (e + 1 < height) {
            next = rippleForRow(e + 1, height, parameters, logs);
            prefetchRowStart(source.pixels + static_cast<std::size_t>(next.sourceRow) * width, width);
        }
        copyShiftedRow(sourceRow, width, ripple.dx, water.data() + static_cast<std::size_t>(e) * width, copy);
    }
    return height;
}

} // namespace waterline

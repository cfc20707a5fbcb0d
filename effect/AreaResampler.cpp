#include "AreaResampler.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace waterline {

namespace {

// For each target index along one axis: the source pixels it covers and their weights.
struct AxisTaps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int> offset; // into weights
    std::vector<float> weights;
};

AxisTaps tapsFor(int sourceLength, int targetLength)
{
    AxisTaps taps;
    double scale = static_cast<double>(sourceLength) / targetLength;
    for (int target = 0; target < targetLength; ++target) {
        double begin = target * scale;
        double end = std::min((target + 1) * scale, static_cast<double>(sourceLength));
        int first = static_cast<int>(std::floor(begin));
        int last = std::min(sourceLength - 1, static_cast<int>(std::ceil(end)) - 1);
        taps.first.push_back(first);
        taps.offset.push_back(static_cast<int>(taps.weights.size()));
        int count = 0;
        for (int i = first; i <= last; ++i) {
            double covered = std::min(end, i + 1.0) - std::max(begin, static_cast<double>(i));
            if (covered <= 0 && count > 0)
                break;
            taps.weights.push_back(static_cast<float>(std::max(covered, 0.0) / (end - begin)));
            ++count;
        }
        taps.count.push_back(count);
    }
    return taps;
}

// One source row averaged across: 4 floats per target pixel.
void shrinkRow(const std::uint8_t* row, const AxisTaps& taps, float* out)
{
    int width = static_cast<int>(taps.first.size());
    for (int x = 0; x < width; ++x) {
        float a = 0, r = 0, g = 0, b = 0;
        const std::uint8_t* p = row + 4 * taps.first[x];
        const float* w = taps.weights.data() + taps.offset[x];
        for (int k = 0; k < taps.count[x]; ++k, p += 4) {
            a += p[0] * w[k];
            r += p[1] * w[k];
            g += p[2] * w[k];
            b += p[3] * w[k];
        }
        out[4 * x] = a;
        out[4 * x + 1] = r;
        out[4 * x + 2] = g;
        out[4 * x + 3] = b;
    }
}

std::uint8_t toChannel(float value)
{
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value + 0.5f), 0, 255));
}

} // namespace

std::unique_ptr<PixelBuffer> shrinkByArea(const PixelBuffer& source, Size size)
{
    auto target = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    if (!target || size.isEmpty())
        return target;
    AxisTaps columns = tapsFor(source.width(), size.width);
    AxisTaps rows = tapsFor(source.height(), size.height);
    std::size_t rowFloats = static_cast<std::size_t>(size.width) * 4;
    // Neighbouring target rows share their border source row: keep the last two.
    std::vector<float> cached[2] = {std::vector<float>(rowFloats), std::vector<float>(rowFloats)};
    int cachedRow[2] = {-1, -1};
    std::vector<float> sum(rowFloats);
    for (int y = 0; y < size.height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* w = rows.weights.data() + rows.offset[y];
        for (int k = 0; k < rows.count[y]; ++k) {
            int sourceRow = rows.first[y] + k;
            int slot = sourceRow & 1;
            if (cachedRow[slot] != sourceRow) {
                shrinkRow(source.row(sourceRow), columns, cached[slot].data());
                cachedRow[slot] = sourceRow;
            }
            const float* shrunk = cached[slot].data();
            for (std::size_t i = 0; i < rowFloats; ++i)
                sum[i] += shrunk[i] * w[k];
        }
        std::uint8_t* out = target->row(y);
        for (std::size_t i = 0; i < rowFloats; ++i)
            out[i] = toChannel(sum[i]);
    }
    return target;
}

} // namespace waterline

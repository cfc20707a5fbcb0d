#include "ScanLevel.h"

#include <algorithm>
#include <atomic>

namespace waterline::detail {

namespace {

JsonScanLevel detectLevel()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return JsonScanLevel::AVX2;
    return JsonScanLevel::SSE2;
#else
    return JsonScanLevel::Scalar;
#endif
}

std::atomic<JsonScanLevel>& activeLevel()
{
    static std::atomic<JsonScanLevel> level{supportedJsonScanLevel()};
    return level;
}

} // namespace

std::string_view toString(JsonScanLevel level)
{
    switch (level) {
    case JsonScanLevel::Scalar:
        return "scalar";
    case JsonScanLevel::SSE2:
        return "SSE2";
    case JsonScanLevel::AVX2:
        return "AVX2";
    }
    return "?";
}

JsonScanLevel supportedJsonScanLevel()
{
    static const JsonScanLevel supported = detectLevel();
    return supported;
}

JsonScanLevel activeJsonScanLevel()
{
    return activeLevel().load(std::memory_order_relaxed);
}

void limitJsonScanLevel(JsonScanLevel level)
{
    activeLevel().store(std::min(level, supportedJsonScanLevel()), std::memory_order_relaxed);
}

} // namespace waterline::detail

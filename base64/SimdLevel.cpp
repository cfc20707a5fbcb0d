#include "SimdLevel.h"

#include <algorithm>
#include <atomic>

namespace waterline {

namespace {

SimdLevel detectSimdLevel()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return SimdLevel::AVX2;
    if (__builtin_cpu_supports("ssse3"))
        return SimdLevel::SSSE3;
#endif
    return SimdLevel::Scalar;
}

std::atomic<SimdLevel>& activeLevel()
{
    static std::atomic<SimdLevel> level{supportedSimdLevel()};
    return level;
}

} // namespace

std::string_view toString(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Scalar:
        return "scalar";
    case SimdLevel::SSSE3:
        return "SSSE3";
    case SimdLevel::AVX2:
        return "AVX2";
    }
    return "?";
}

SimdLevel supportedSimdLevel()
{
    static const SimdLevel supported = detectSimdLevel();
    return supported;
}

SimdLevel activeSimdLevel()
{
    return activeLevel().load(std::memory_order_relaxed);
}

void limitSimdLevel(SimdLevel level)
{
    activeLevel().store(std::min(level, supportedSimdLevel()), std::memory_order_relaxed);
}

} // namespace waterline

// The AVX2 run finder, only called when the CPU has AVX2 (ScanLevel.h). The function
// alone is built for AVX2, through its target attribute rather than a flag for the whole
// file, so no inline function of the shared headers is emitted here with AVX2 in it.
#include "ScanBlocks.h"

namespace waterline::detail {

[[gnu::target("avx2")]] const char* plainEndAvx2(const char* c, const char* end)
{
    while (end - c >= 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
        const __m256i special = _mm256_or_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(0x20), block),
                                                _mm256_or_si256(_mm256_cmpeq_epi8(block, _mm256_set1_epi8('"')),
                                                                _mm256_cmpeq_epi8(block, _mm256_set1_epi8('\\'))));
        if (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(special)))
            return c + std::countr_zero(mask);
        c += 32;
    }
    return Sse2Blocks::plainEnd(c, end);
}

} // namespace waterline::detail

// Finding the end of runs of plain string bytes, spaces and digits a block at a time.
//
// Plain string bytes are printable ASCII other than the double quote and the backslash.
// Each function looks at the text from `c`, whose terminating NUL is at `end`, reading
// only whole blocks that lie before `end`. It returns the first byte of a block that
// ends the run, or where whole blocks stop; the caller goes on byte by byte from there.
// One policy per scan level (ScanLevel.h); all give the same answers.
#pragma once

#include "PlainAscii.h"

#include <bit>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace waterline::detail {

struct ScalarBlocks {
    static const char* plainEnd(const char* c, const char* end)
    {
        while (end - c >= 8) {
            if (std::uint64_t special = specialByteFlags(loadBlock(c)))
                return c + std::countr_zero(special) / 8;
            c += 8;
        }
        return c;
    }
    static const char* spaceEnd(const char* c, const char* end)
    {
        while (end - c >= 8) {
            if (std::uint64_t notSpace = loadBlock(c) ^ (kEachByte * ' '))
                return c + std::countr_zero(notSpace) / 8;
            c += 8;
        }
        return c;
    }
    static const char* digitEnd(const char* c, const char*)
    {
        while (*c >= '0' && *c <= '9')
            ++c;
        return c;
    }
};

#if defined(__x86_64__)

struct Sse2Blocks {
    static unsigned specialMask(const char* at)
    {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // A signed compare: bytes of 0x80 and above are negative, so below 0x20 as well.
        const __m128i special = _mm_or_si128(
            _mm_cmplt_epi8(block, _mm_set1_epi8(0x20)),
            _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'))));
        return static_cast<unsigned>(_mm_movemask_epi8(special));
    }
    static const char* plainEnd(const char* c, const char* end)
    {
        while (end - c >= 16) {
            if (unsigned mask = specialMask(c))
                return c + std::countr_zero(mask);
            c += 16;
        }
        return c;
    }
    static const char* spaceEnd(const char* c, const char* end)
    {
        while (end - c >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
            const unsigned space = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' '))));
            if (space != 0xFFFF)
                return c + std::countr_one(space);
            c += 16;
        }
        return c;
    }
    static const char* digitEnd(const char* c, const char* end)
    {
        while (end - c >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
            const __m128i notDigit
                = _mm_or_si128(_mm_cmplt_epi8(block, _mm_set1_epi8('0')), _mm_cmpgt_epi8(block, _mm_set1_epi8('9')));
            if (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(notDigit)))
                return c + std::countr_zero(mask);
            c += 16;
        }
        return ScalarBlocks::digitEnd(c, end);
    }
};

// Defined in ScanBlocksAvx2.cpp, built for AVX2: plainEnd thirty-two bytes at a time.
[[gnu::target("avx2")]] const char* plainEndAvx2(const char* c, const char* end);

// SSE2 for the short runs that most strings are; a run that fills its first block goes
// on thirty-two bytes at a time, through a call, as AVX2 code cannot be inlined here.
struct Avx2Blocks : Sse2Blocks {
    static const char* plainEnd(const char* c, const char* end)
    {
        if (end - c >= 16) {
            if (unsigned mask = specialMask(c))
                return c + std::countr_zero(mask);
            return plainEndAvx2(c + 16, end);
        }
        return c;
    }
};

#endif

} // namespace waterline::detail

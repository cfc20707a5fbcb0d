// The AVX2 block codec: 24 bytes to 32 characters and back per step, the SSSE3 method
// on two 128-bit lanes at once (see BlockCodecSsse3.cpp for how it works).
#if defined(__x86_64__) || defined(__i386__)

#include "BlockCodec.h"

#include <immintrin.h>

namespace waterline {

namespace {

__attribute__((target("avx2"))) inline __m128i load(const std::array<std::int8_t, 16>& table)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data()));
}

__attribute__((target("avx2"))) inline __m256i bothLanes(__m128i lane)
{
    return _mm256_broadcastsi128_si256(lane);
}

} // namespace

__attribute__((target("avx2"))) std::size_t encodeBlocksAvx2(const std::uint8_t* src, std::size_t length,
                                                             std::uint8_t* dest, const Alphabet& alphabet)
{
    const __m256i spread = bothLanes(_mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m256i offsets = bothLanes(_mm_setr_epi8(
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        static_cast<char>(alphabet.char62() - 62), static_cast<char>(alphabet.char63() - 63), 'A', 0, 0));
    std::size_t consumed = 0;
    std::uint8_t* out = dest;
    // Each lane loads 16 bytes and uses 12; the second lane starts 12 bytes in.
    for (; length - consumed >= 28; consumed += 24, out += 32) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + consumed));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + consumed + 12));
        __m256i in = _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
        in = _mm256_shuffle_epi8(in, spread);
        const __m256i high
            = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)), _mm256_set1_epi32(0x04000040));
        const __m256i low
            = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)), _mm256_set1_epi32(0x01000010));
        const __m256i indices = _mm256_or_si256(high, low);
        __m256i slots = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
        slots = _mm256_or_si256(
            slots, _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices), _mm256_set1_epi8(13)));
        const __m256i chars = _mm256_add_epi8(indices, _mm256_shuffle_epi8(offsets, slots));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), chars);
    }
    return consumed + encodeGroupsScalar(src + consumed, length - consumed, out, alphabet);
}

__attribute__((target("avx2"))) BlockDecodeResult decodeBlocksAvx2(const std::uint8_t* src, std::size_t length,
                                                                   std::uint8_t* dest, std::size_t room,
                                                                   const Alphabet& alphabet)
{
    const __m256i char62 = _mm256_set1_epi8(alphabet.char62());
    const __m256i char63 = _mm256_set1_epi8(alphabet.char63());
    const __m256i value62 = _mm256_set1_epi8(static_cast<char>(62 - alphabet.char62()));
    const __m256i value63 = _mm256_set1_epi8(static_cast<char>(63 - alphabet.char63()));
    const __m256i lowTable = bothLanes(load(alphabet.nibbles.low));
    const __m256i highTable = bothLanes(load(alphabet.nibbles.high));
    const __m256i offsetTable = bothLanes(load(alphabet.nibbles.offset));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i pack = bothLanes(_mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    const __m256i joinLanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    std::size_t consumed = 0, written = 0;
    // Each step stores 32 bytes of which 24 are decoded.
    for (; length - consumed >= 32 && room - written >= 32; consumed += 32, written += 24) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + consumed));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(x, 4), nibble);
        const __m256i low = _mm256_and_si256(x, nibble);
        const __m256i invalid
            = _mm256_and_si256(_mm256_shuffle_epi8(lowTable, low), _mm256_shuffle_epi8(highTable, high));
        const unsigned mask
            = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(invalid, _mm256_setzero_si256())));
        if (mask != 0xFFFFFFFFu)
            return {consumed, written, static_cast<std::size_t>(__builtin_ctz(~mask)), true};
        __m256i offset = _mm256_shuffle_epi8(offsetTable, high);
        offset = _mm256_blendv_epi8(offset, value62, _mm256_cmpeq_epi8(x, char62));
        offset = _mm256_blendv_epi8(offset, value63, _mm256_cmpeq_epi8(x, char63));
        const __m256i values = _mm256_add_epi8(x, offset);
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack), joinLanes);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + written), bytes);
    }
    BlockDecodeResult tail
        = decodeGroupsScalar(src + consumed, length - consumed, dest + written, room - written, alphabet);
    tail.consumed += consumed;
    tail.written += written;
    return tail;
}

} // namespace waterline

#endif

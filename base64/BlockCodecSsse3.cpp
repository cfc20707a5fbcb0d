// The SSSE3 block codec: 12 bytes to 16 characters and back per step.
//
// Encoding spreads each three-byte group over a 32-bit lane, cuts it into four 6-bit
// indices with two multiplies, and turns indices into characters by adding an offset
// picked per index range with one shuffle. Decoding classifies each byte by its two
// halves with two shuffles over the alphabet's nibble tables, so one code serves both
// alphabets, and packs four 6-bit values back into three bytes with two multiply-adds
// and a shuffle.
#if defined(__x86_64__) || defined(__i386__)

#include "BlockCodec.h"

#include <immintrin.h>

namespace waterline {

namespace {

__attribute__((target("ssse3"))) inline __m128i load(const std::array<std::int8_t, 16>& table)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data()));
}

// Lanes of `chosen` where `mask` is set, of `otherwise` elsewhere.
__attribute__((target("ssse3"))) inline __m128i select(__m128i mask, __m128i chosen, __m128i otherwise)
{
    return _mm_or_si128(_mm_and_si128(mask, chosen), _mm_andnot_si128(mask, otherwise));
}

} // namespace

__attribute__((target("ssse3"))) std::size_t encodeBlocksSsse3(const std::uint8_t* src, std::size_t length,
                                                               std::uint8_t* dest, const Alphabet& alphabet)
{
    const __m128i spread = _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    // Offset from index to character: 26-51 at slot 0, 52-61 at slots 1-10, 62 and
    // 63 at slots 11 and 12, 0-25 at slot 13.
    const __m128i offsets = _mm_setr_epi8(
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        static_cast<char>(alphabet.char62() - 62), static_cast<char>(alphabet.char63() - 63), 'A', 0, 0);
    std::size_t consumed = 0;
    std::uint8_t* out = dest;
    // Each step loads 16 bytes and uses 12.
    for (; length - consumed >= 16; consumed += 12, out += 16) {
        __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + consumed));
        in = _mm_shuffle_epi8(in, spread);
        const __m128i high = _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
        const __m128i low = _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
        const __m128i indices = _mm_or_si128(high, low);
        __m128i slots = _mm_subs_epu8(indices, _mm_set1_epi8(51));
        slots = _mm_or_si128(slots, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), indices), _mm_set1_epi8(13)));
        const __m128i chars = _mm_add_epi8(indices, _mm_shuffle_epi8(offsets, slots));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chars);
    }
    return consumed + encodeGroupsScalar(src + consumed, length - consumed, out, alphabet);
}

__attribute__((target("ssse3"))) BlockDecodeResult decodeBlocksSsse3(const std::uint8_t* src, std::size_t length,
                                                                     std::uint8_t* dest, std::size_t room,
                                                                     const Alphabet& alphabet)
{
    const __m128i char62 = _mm_set1_epi8(alphabet.char62());
    const __m128i char63 = _mm_set1_epi8(alphabet.char63());
    const __m128i value62 = _mm_set1_epi8(static_cast<char>(62 - alphabet.char62()));
    const __m128i value63 = _mm_set1_epi8(static_cast<char>(63 - alphabet.char63()));
    const __m128i lowTable = load(alphabet.nibbles.low);
    const __m128i highTable = load(alphabet.nibbles.high);
    const __m128i offsetTable = load(alphabet.nibbles.offset);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i pack = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t consumed = 0, written = 0;
    // Each step stores 16 bytes of which 12 are decoded.
    for (; length - consumed >= 16 && room - written >= 16; consumed += 16, written += 12) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + consumed));
        const __m128i high = _mm_and_si128(_mm_srli_epi32(x, 4), nibble);
        const __m128i low = _mm_and_si128(x, nibble);
        const __m128i invalid = _mm_and_si128(_mm_shuffle_epi8(lowTable, low), _mm_shuffle_epi8(highTable, high));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(invalid, _mm_setzero_si128())));
        if (mask != 0xFFFF)
            return {consumed, written, static_cast<std::size_t>(__builtin_ctz(~mask)), true};
        __m128i offset = _mm_shuffle_epi8(offsetTable, high);
        offset = select(_mm_cmpeq_epi8(x, char62), value62, offset);
        offset = select(_mm_cmpeq_epi8(x, char63), value63, offset);
        const __m128i values = _mm_add_epi8(x, offset);
        const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
        const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + written), _mm_shuffle_epi8(groups, pack));
    }
    BlockDecodeResult tail
        = decodeGroupsScalar(src + consumed, length - consumed, dest + written, room - written, alphabet);
    tail.consumed += consumed;
    tail.written += written;
    return tail;
}

} // namespace waterline

#endif

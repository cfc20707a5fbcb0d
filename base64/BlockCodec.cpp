// The scalar block codec and the choice of codec per level.
#include "BlockCodec.h"

namespace waterline {

std::size_t encodeGroupsScalar(const std::uint8_t* src, std::size_t length, std::uint8_t* dest,
                               const Alphabet& alphabet)
{
    const char* chars = alphabet.chars.data();
    std::size_t consumed = 0;
    for (; length - consumed >= 3; consumed += 3, dest += 4) {
        const std::uint32_t group
            = std::uint32_t{src[consumed]} << 16 | std::uint32_t{src[consumed + 1]} << 8 | src[consumed + 2];
        dest[0] = chars[group >> 18];
        dest[1] = chars[(group >> 12) & 0x3F];
        dest[2] = chars[(group >> 6) & 0x3F];
        dest[3] = chars[group & 0x3F];
    }
    return consumed;
}

BlockDecodeResult decodeGroupsScalar(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, std::size_t room,
                                     const Alphabet& alphabet)
{
    const std::uint8_t* table = alphabet.decode.data();
    BlockDecodeResult result;
    while (length - result.consumed >= 4 && room - result.written >= 3) {
        const std::uint8_t* in = src + result.consumed;
        const std::uint32_t a = table[in[0]], b = table[in[1]], c = table[in[2]], d = table[in[3]];
        // Every value outside the alphabet is kInvalid, which has bit 6 set.
        if ((a | b | c | d) & 0xC0) {
            result.stoppedAtBadByte = true;
            result.badOffset = a >= 64 ? 0 : b >= 64 ? 1 : c >= 64 ? 2 : 3;
            return result;
        }
        const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
        std::uint8_t* out = dest + result.written;
        out[0] = static_cast<std::uint8_t>(group >> 16);
        out[1] = static_cast<std::uint8_t>(group >> 8);
        out[2] = static_cast<std::uint8_t>(group);
        result.consumed += 4;
        result.written += 3;
    }
    return result;
}

const BlockCodec& blockCodecFor(SimdLevel level)
{
    static const BlockCodec scalar{encodeGroupsScalar, decodeGroupsScalar};
#if defined(__x86_64__) || defined(__i386__)
    static const BlockCodec ssse3{encodeBlocksSsse3, decodeBlocksSsse3};
    static const BlockCodec avx2{encodeBlocksAvx2, decodeBlocksAvx2};
    switch (level) {
    case SimdLevel::AVX2:
        return avx2;
    case SimdLevel::SSSE3:
        return ssse3;
    case SimdLevel::Scalar:
        break;
    }
#else
    (void)level;
#endif
    return scalar;
}

} // namespace waterline

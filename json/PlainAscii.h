// Finding the end of a run of plain string bytes, eight bytes at a time.
//
// Plain means printable ASCII other than the double quote and the backslash: the bytes
// a JSON string holds, and its text shows, as they are. Both the parser and the writer
// spend most of their time in such runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace waterline::detail {

inline constexpr std::uint64_t kEachByte = 0x0101010101010101ull;

inline std::uint64_t loadBlock(const void* at)
{
    std::uint64_t block;
    std::memcpy(&block, at, sizeof block);
    return block;
}

// The high bit of each byte of the block that is below 0x20, a '"', a '\\' or 0x80 and
// above. Borrows may add false alarms after a flagged byte, but never hide one nor flag
// a byte before the first special one: a block that passes is plain throughout, and the
// lowest flag (the first byte in memory order on a little-endian machine) is exact.
inline std::uint64_t specialByteFlags(std::uint64_t block)
{
    std::uint64_t special = (block - kEachByte * 0x20) | ((block ^ (kEachByte * '"')) - kEachByte)
        | ((block ^ (kEachByte * '\\')) - kEachByte) | block;
    return special & (kEachByte * 0x80);
}

inline bool hasSpecialByte(std::uint64_t block)
{
    return specialByteFlags(block) != 0;
}

// The index of the first block of `bytes` from `i` (below `size`) that holds a special
// byte, or the start of the last partial block; the caller goes on byte by byte.
inline std::size_t skipPlainAscii(const unsigned char* bytes, std::size_t i, std::size_t size)
{
    while (size - i >= 8 && !hasSpecialByte(loadBlock(bytes + i)))
        i += 8;
    return i;
}

} // namespace waterline::detail

// Whole-block encoding and decoding for the common case, one version per SimdLevel.
//
// Encoding has no special cases, so a block codec encodes every whole block at the
// front of its input. Decoding is only fast while the text holds nothing but alphabet
// characters: a block codec decodes blocks from the start of a four-character group
// and stops before the first block holding any other byte (whitespace, '=', NUL or an
// invalid byte). The exact state machine takes over there, so the result is always
// the one the state machine alone would give.
#pragma once

#include "Alphabet.h"
#include "SimdLevel.h"

#include <cstddef>
#include <cstdint>

namespace waterline {

struct BlockDecodeResult {
    std::size_t consumed = 0; // characters decoded, a multiple of four
    std::size_t written = 0;  // bytes written, three per four characters
    // Set when decoding stopped at a block holding a byte outside the alphabet: that
    // byte's offset from the end of the consumed characters.
    std::size_t badOffset = 0;
    bool stoppedAtBadByte = false;
};

struct BlockCodec {
    // Encodes whole three-byte groups from the front of `src`, as many as the level
    // handles in blocks; returns the number of bytes consumed. `dest` has room for the
    // four characters of every group.
    std::size_t (*encode)(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, const Alphabet& alphabet);
    // Decodes from the start of a group. `room` is the space left in `dest`; the vector
    // versions write a few bytes beyond the decoded ones, never beyond `room`.
    BlockDecodeResult (*decode)(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, std::size_t room,
                                const Alphabet& alphabet);
};

const BlockCodec& blockCodecFor(SimdLevel level);

// The scalar versions, also used by the vector ones for what is left after their blocks.
std::size_t encodeGroupsScalar(const std::uint8_t* src, std::size_t length, std::uint8_t* dest,
                               const Alphabet& alphabet);
BlockDecodeResult decodeGroupsScalar(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, std::size_t room,
                                     const Alphabet& alphabet);

#if defined(__x86_64__) || defined(__i386__)
std::size_t encodeBlocksSsse3(const std::uint8_t*, std::size_t, std::uint8_t*, const Alphabet&);
BlockDecodeResult decodeBlocksSsse3(const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t, const Alphabet&);
std::size_t encodeBlocksAvx2(const std::uint8_t*, std::size_t, std::uint8_t*, const Alphabet&);
BlockDecodeResult decodeBlocksAvx2(const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t, const Alphabet&);
#endif

} // namespace waterline

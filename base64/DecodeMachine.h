// The Base64 decoding state machine, resumable so that input may come in pieces.
//
// The state is the position in the four-character group (0-3), the bits of the last
// character not yet forming a whole byte, and a phase: reading data, waiting for the
// second '=', only whitespace allowed after the padding, ended by a NUL, or failed.
// A byte is written as soon as its last bit is known, so a piece of n characters
// writes at most n / 4 * 3 + 3 bytes. While the text is in a group's first position
// and holds only alphabet characters, whole blocks go to the block codec of the
// active SimdLevel; everything else is handled one character at a time.
#pragma once

#include "Alphabet.h"

#include <cstddef>
#include <cstdint>

namespace waterline {

class DecodeMachine {
public:
    DecodeMachine(const Alphabet& alphabet, bool requirePadding)
        : m_alphabet(alphabet)
        , m_requirePadding(requirePadding)
    {
    }

    // Space that run() may need for a piece of `length` characters.
    static std::size_t roomFor(std::size_t length) { return length / 4 * 3 + 3; }

    // Decodes a piece into `dest`, which has `room` bytes (at least roomFor(length)),
    // and returns the number of bytes written. After a failure it writes nothing more.
    std::size_t run(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, std::size_t room);

    // The input has ended: true if it was complete and valid.
    bool finish();

    bool failed() const { return m_phase == Phase::Failed; }
    bool ended() const { return m_phase == Phase::Ended; }

private:
    enum class Phase : std::uint8_t { Data, SecondPad, AfterPad, Ended, Failed };

    const std::uint8_t* runData(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t* dest, std::size_t room,
                                std::size_t& written);
    const std::uint8_t* runSecondPad(const std::uint8_t* p, const std::uint8_t* end);
    const std::uint8_t* runAfterPad(const std::uint8_t* p, const std::uint8_t* end);
    void takePad();
    void endData();
    void endAfterPad();

    const Alphabet& m_alphabet;
    bool m_requirePadding;
    Phase m_phase = Phase::Data;
    std::uint8_t m_group = 0;   // position in the four-character group
    std::uint8_t m_pending = 0; // decoded bits of the byte not yet complete, high bits first
};

} // namespace waterline

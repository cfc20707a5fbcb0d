// Decodes Base64 text that arrives in pieces, such as a file far larger than memory.
//
//   Base64StreamDecoder decoder = Base64StreamDecoder::standard();
//   std::vector<std::uint8_t> bytes;
//   for (auto piece = nextPiece(); !piece.empty() && !decoder.inputEnded(); piece = nextPiece())
//       if (!decoder.decode(piece, bytes))
//           return reject();
//   if (!decoder.finish() || decoder.decodedLength() == 0)
//       return reject();
//
// It runs the very state machine of Base64's one-shot decoders and carries its state
// (the position in the four-character group, the bits not yet making a whole byte,
// and whether padding or a NUL has been met) from one piece to the next. Where the
// input is cut therefore never changes the result: the bytes given out by all pieces
// together, and whether finish() accepts the input, equal what the one-shot decoder
// of the same alphabet gives for the whole text. As there, an input decoding to zero
// bytes counts as no result; check decodedLength() after finish().
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace waterline {

class DecodeMachine;

class Base64StreamDecoder {
public:
    // Standard alphabet with padding required, as Base64::decodeData.
    static Base64StreamDecoder standard();
    // Web-safe alphabet with padding optional, as Base64::webSafeDecodeData.
    static Base64StreamDecoder webSafe();

    Base64StreamDecoder(Base64StreamDecoder&&) noexcept;
    Base64StreamDecoder& operator=(Base64StreamDecoder&&) noexcept;
    ~Base64StreamDecoder();

    // Decodes the next piece, appending the bytes it completes to `out`. False once
    // the input is known to be invalid; later calls then keep returning false.
    bool decode(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out);

    // Ends the input. False if the text so far is invalid or incomplete.
    bool finish();

    // A NUL byte ended the text: whatever follows it is ignored, so the caller may stop
    // reading.
    bool inputEnded() const;

    // The number of bytes decoded so far.
    std::uint64_t decodedLength() const { return m_decodedLength; }

private:
    explicit Base64StreamDecoder(std::unique_ptr<DecodeMachine>);

    std::unique_ptr<DecodeMachine> m_machine;
    std::uint64_t m_decodedLength = 0;
};

} // namespace waterline

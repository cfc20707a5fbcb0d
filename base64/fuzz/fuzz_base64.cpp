// Fuzzes the decoders on every vector path: no read or write outside the buffers
// (the sanitizers watch), the same answer as the plain reference cores, the same
// answer from the stream decoder fed in pieces, and encode -> decode giving the
// bytes back in both alphabets.
//
// The first input byte picks the vector path and the stream decoder's piece size.
#include "ReferenceBase64.h"
#include "SimdLevel.h"
#include <waterline/base64/Base64.h>
#include <waterline/base64/Base64StreamDecoder.h>

#include <cstdlib>

namespace {

using namespace waterline;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::optional<Base64::Data> streamDecode(Base64::Bytes text, bool webSafe, std::size_t pieceSize)
{
    auto decoder = webSafe ? Base64StreamDecoder::webSafe() : Base64StreamDecoder::standard();
    Base64::Data out;
    for (std::size_t at = 0; at < text.size(); at += pieceSize)
        if (!decoder.decode(text.subspan(at, std::min(pieceSize, text.size() - at)), out))
            return std::nullopt;
    if (!decoder.finish() || out.empty())
        return std::nullopt;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    limitSimdLevel(static_cast<SimdLevel>(data[0] % 3));
    const std::size_t pieceSize = 1 + data[0] / 3;
    // An exact-size copy, so that the sanitizer sees any read past the end.
    const Base64::Data input(data + 1, data + size);

    const auto standard = Base64::decodeBytes(input);
    const auto webSafe = Base64::webSafeDecodeBytes(input);
    check(standard == reference::decode(input.data(), input.size(), reference::kStandardChars, true));
    check(webSafe == reference::decode(input.data(), input.size(), reference::kWebSafeChars, false));
    check(streamDecode(input, false, pieceSize) == standard);
    check(streamDecode(input, true, pieceSize) == webSafe);

    if (!input.empty()) {
        check(Base64::decodeData(*Base64::encodeData(input)) == input);
        check(Base64::decodeString(*Base64::stringByEncodingBytes(input)) == input);
        check(Base64::webSafeDecodeData(*Base64::webSafeEncodeData(input, Base64::Padding::Omitted)) == input);
        check(Base64::webSafeDecodeString(*Base64::stringByWebSafeEncodingBytes(input, Base64::Padding::Written))
              == input);
    }
    return 0;
}

// Fuzzes the in-memory codec: decompression of any bytes stays within the inflate
// limit (set small here so that bombs are cheap to find), and compression followed by
// decompression gives the bytes back.
#include <waterline/http/GzipCodec.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace waterline;
    constexpr std::size_t kLimit = 1 << 20;
    GzipCodec::setMaximumInflatedSize(kLimit);
    const GzipCodec::Bytes input(data, size);

    if (const auto inflated = GzipCodec::uncompressZippedData(input); inflated && inflated->size() > kLimit)
        std::abort();

    const auto compressed = GzipCodec::compressData(input);
    if (!compressed || GzipCodec::uncompressZippedData(*compressed) != GzipCodec::Data(data, data + size))
        std::abort();
    return 0;
}

// Feeds arbitrary bytes to the picture decoders: any input must give a picture or a
// reason, never a crash, a leak or a huge allocation. A decoded picture is then turned
// upright and fitted as the album flow does, to exercise fixOrientation on odd sizes.
#include <waterline/effect/AlbumTargetSize.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/PictureFile.h>

#include <cstddef>
#include <cstdint>

using namespace waterline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> bytes(data, size);
    auto info = PictureFile::probe(bytes);
    PictureDecodeOptions options;
    SizeF target{};
    if (info) {
        target = albumTargetSize(info->uprightSize());
        if (target.width >= 1 && target.height >= 1)
            options.coverSize = Size{static_cast<int>(target.width), static_cast<int>(target.height)};
    }
    auto decoded = PictureFile::decode(bytes, options);
    if (decoded && options.coverSize)
        fixOrientation(**decoded, target);
    return 0;
}

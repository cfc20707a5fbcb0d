#include "AnimatedWebP.h"

#include "RenderError.h"

#include <waterline/image/PixelConversion.h>

#include <webp/encode.h>

#include <cstring>
#include <string>
#include <vector>

namespace waterline::render {

namespace {

constexpr std::size_t kRIFFHeaderBytes = 12; // "RIFF", size, "WEBP"
constexpr std::size_t kChunkHeaderBytes = 8; // fourcc, size

void putLE(std::vector<std::uint8_t>& bytes, std::uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putChunkHeader(std::vector<std::uint8_t>& bytes, const char* fourcc, std::uint32_t payload)
{
    bytes.insert(bytes.end(), fourcc, fourcc + 4);
    putLE(bytes, payload, 4);
}

ErrorPtr outOfRoom()
{
    return renderError("the animation would pass WebP's 4 GiB limit: use fewer frames or a smaller picture");
}

// The frame as a lossless WebP file of its own, or an error.
ErrorOr<std::vector<std::uint8_t>> encodeFrame(const PixelBuffer& frame)
{
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 0) || !WebPPictureInit(&picture))
        return renderError("WebP library version mismatch");
    picture.use_argb = 1;
    picture.width = frame.width();
    picture.height = frame.height();
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    // WebP takes straight (not premultiplied) R, G, B, A bytes.
    auto rgba = image::straightRGBA(frame);
    ErrorPtr error;
    if (!WebPPictureImportRGBA(&picture, rgba.data(), frame.width() * 4))
        error = renderError("out of memory for a WebP frame");
    else if (!WebPEncode(&config, &picture))
        error = renderError("WebP encoding failed (error " + std::to_string(picture.error_code) + ")");
    std::vector<std::uint8_t> bytes;
    if (!error)
        bytes.assign(writer.mem, writer.mem + writer.size);
    WebPPictureFree(&picture);
    WebPMemoryWriterClear(&writer);
    if (error)
        return error;
    return bytes;
}

// The image chunks of a still WebP file (VP8L, or ALPH and VP8), without the RIFF
// header and any VP8X chunk: what an ANMF chunk carries after its frame header.
std::span<const std::uint8_t> imageChunks(std::span<const std::uint8_t> file)
{
    auto chunks = file.subspan(std::min(file.size(), kRIFFHeaderBytes));
    if (chunks.size() >= kChunkHeaderBytes && std::memcmp(chunks.data(), "VP8X", 4) == 0) {
        std::size_t payload = chunks[4] | chunks[5] << 8 | chunks[6] << 16 | static_cast<std::size_t>(chunks[7]) << 24;
        chunks = chunks.subspan(std::min(chunks.size(), kChunkHeaderBytes + payload + (payload & 1)));
    }
    return chunks;
}

} // namespace

AnimatedWebP::AnimatedWebP(AtomicFile file, Size size)
    : m_file(std::move(file))
    , m_size(size)
{
}

ErrorOr<std::unique_ptr<AnimatedWebP>> AnimatedWebP::create(const std::filesystem::path& output, Size size, long frames)
{
    // VP8X stores each side less one in 24 bits; lossless frames are at most 16384 wide.
    if (size.isEmpty() || size.width > 16384 || size.height > 16384)
        return renderError("cannot make a WebP animation of this size");
    auto pixelBytes = static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) * 4;
    if (frames < 1 || pixelBytes * static_cast<std::uint64_t>(frames) > kMaxRIFFPayload)
        return outOfRoom();
    // An output picture is an ordinary file, readable as any other the user makes.
    auto file = WL_TRY(AtomicFile::create(output, {.permissions = 0666}));
    std::unique_ptr<AnimatedWebP> animation(new AnimatedWebP(std::move(file), size));
    WL_TRY(animation->writeHeader());
    return animation;
}

ErrorOr<void> AnimatedWebP::writeHeader()
{
    std::vector<std::uint8_t> bytes;
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'});
    putChunkHeader(bytes, "VP8X", 10);
    // Animation (0x02) and alpha (0x10): the alpha flag only tells a reader that some
    // frame may be translucent, which is true of pictures with transparency.
    putLE(bytes, 0x12, 4);
    putLE(bytes, static_cast<std::uint32_t>(m_size.width - 1), 3);
    putLE(bytes, static_cast<std::uint32_t>(m_size.height - 1), 3);
    putChunkHeader(bytes, "ANIM", 6);
    putLE(bytes, 0, 4); // background colour: transparent
    putLE(bytes, 0, 2); // loop forever
    return m_file.write(bytes);
}

ErrorOr<void> AnimatedWebP::addFrame(const PixelBuffer& frame)
{
    if (frame.size() != m_size)
        return renderError("animation frames must all have the same size");
    auto encoded = WL_TRY(encodeFrame(frame));
    auto image = imageChunks(encoded);
    std::uint64_t payload = 16 + image.size();
    std::uint64_t riffPayload = m_file.size() - kChunkHeaderBytes;
    if (riffPayload + kChunkHeaderBytes + payload + (payload & 1) > kMaxRIFFPayload)
        return outOfRoom();
    std::vector<std::uint8_t> header;
    putChunkHeader(header, "ANMF", static_cast<std::uint32_t>(payload));
    putLE(header, 0, 3); // x / 2
    putLE(header, 0, 3); // y / 2
    putLE(header, static_cast<std::uint32_t>(m_size.width - 1), 3);
    putLE(header, static_cast<std::uint32_t>(m_size.height - 1), 3);
    putLE(header, kFrameMilliseconds, 3);
    // Each frame covers the whole canvas: replace what was there (no blending), keep it.
    header.push_back(0x02);
    WL_TRY(m_file.write(header));
    WL_TRY(m_file.write(image));
    if (payload & 1)
        WL_TRY(m_file.write(std::vector<std::uint8_t>{0}));
    return {};
}

ErrorOr<void> AnimatedWebP::finish()
{
    std::vector<std::uint8_t> size;
    putLE(size, static_cast<std::uint32_t>(m_file.size() - kChunkHeaderBytes), 4);
    WL_TRY(m_file.writeAt(4, size));
    return m_file.commit();
}

} // namespace waterline::render

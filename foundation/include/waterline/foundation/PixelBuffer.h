// A pixel buffer states its format, size, stride and owner when it is made, so no
// reader has to guess. Every buffer of the effect engine and the camera path is 32-bit
// premultiplied colour; only the byte order differs.
//
//     auto water = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {768, 1024});
//     std::uint8_t* row = water->row(10);          // bytes A,R,G,B, A,R,G,B, ...
//
//     // A camera frame owned by someone else, released when the buffer goes away:
//     auto frame = PixelBuffer::wrap(PixelFormat::BGRA32Premultiplied, {640, 480}, 640 * 4,
//                                    bytes, [handle] { releaseFrame(handle); });
#pragma once

#include <waterline/foundation/Geometry.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace waterline {

enum class PixelFormat : std::uint8_t {
    ARGB32Premultiplied, // bytes A, R, G, B in memory
    BGRA32Premultiplied, // bytes B, G, R, A in memory
};

class PixelBuffer {
public:
    static constexpr int kBytesPerPixel = 4;

    // An owned, zeroed buffer with a stride of exactly width × 4 bytes. Empty for a
    // negative size, one larger than 1 TiB, or one that cannot be allocated.
    static std::unique_ptr<PixelBuffer> create(PixelFormat, Size);

    // A view of memory owned elsewhere; `release` runs when the buffer is destroyed.
    // Empty when `bytes` is too small for size and stride.
    static std::unique_ptr<PixelBuffer> wrap(PixelFormat, Size, std::size_t strideBytes, std::span<std::byte> bytes,
                                             std::function<void()> release = {});

    ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    PixelFormat format() const { return m_format; }
    Size size() const { return m_size; }
    int width() const { return m_size.width; }
    int height() const { return m_size.height; }
    std::size_t stride() const { return m_stride; }
    std::size_t byteCount() const { return m_stride * static_cast<std::size_t>(m_size.height); }

    std::uint8_t* data() { return m_data; }
    const std::uint8_t* data() const { return m_data; }
    std::uint8_t* row(int y) { return m_data + static_cast<std::size_t>(y) * m_stride; }
    const std::uint8_t* row(int y) const { return m_data + static_cast<std::size_t>(y) * m_stride; }

    // An owned copy with a tight stride.
    std::unique_ptr<PixelBuffer> clone() const;

private:
    PixelBuffer(PixelFormat, Size, std::size_t stride, std::uint8_t* data, std::function<void()> release);

    PixelFormat m_format;
    Size m_size;
    std::size_t m_stride;
    std::uint8_t* m_data;
    std::function<void()> m_release;
};

} // namespace waterline

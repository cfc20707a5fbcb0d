#include <waterline/foundation/PixelBuffer.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace waterline {

namespace {
// Far beyond any real raster; refusing larger requests up front makes them fail the
// same way everywhere instead of depending on what the allocator does with them.
constexpr std::size_t kMaxByteCount = std::size_t{1} << 40;
} // namespace

PixelBuffer::PixelBuffer(PixelFormat format, Size size, std::size_t stride, std::uint8_t* data,
                         std::function<void()> release)
    : m_format(format)
    , m_size(size)
    , m_stride(stride)
    , m_data(data)
    , m_release(std::move(release))
{
}

PixelBuffer::~PixelBuffer()
{
    if (m_release)
        m_release();
}

std::unique_ptr<PixelBuffer> PixelBuffer::create(PixelFormat format, Size size)
{
    if (size.width < 0 || size.height < 0)
        return nullptr;
    auto stride = static_cast<std::size_t>(size.width) * kBytesPerPixel;
    auto rows = static_cast<std::size_t>(size.height);
    if (rows != 0 && stride > kMaxByteCount / rows)
        return nullptr;
    // calloc: the zeroed pages come from the kernel lazily, and a size of 0 still gives
    // a distinct pointer.
    auto* bytes = static_cast<std::uint8_t*>(std::calloc(stride * rows + 1, 1));
    if (!bytes)
        return nullptr;
    return std::unique_ptr<PixelBuffer>(new PixelBuffer(format, size, stride, bytes, [bytes] { std::free(bytes); }));
}

std::unique_ptr<PixelBuffer> PixelBuffer::wrap(PixelFormat format, Size size, std::size_t strideBytes,
                                               std::span<std::byte> bytes, std::function<void()> release)
{
    if (size.width < 0 || size.height < 0)
        return nullptr;
    auto rowBytes = static_cast<std::size_t>(size.width) * kBytesPerPixel;
    if (strideBytes < rowBytes)
        return nullptr;
    if (size.height > 0 && bytes.size() < strideBytes * static_cast<std::size_t>(size.height - 1) + rowBytes)
        return nullptr;
    return std::unique_ptr<PixelBuffer>(
        new PixelBuffer(format, size, strideBytes, reinterpret_cast<std::uint8_t*>(bytes.data()), std::move(release)));
}

std::unique_ptr<PixelBuffer> PixelBuffer::clone() const
{
    auto copy = create(m_format, m_size);
    if (!copy)
        return nullptr;
    auto rowBytes = static_cast<std::size_t>(m_size.width) * kBytesPerPixel;
    for (int y = 0; y < m_size.height; ++y)
        std::memcpy(copy->row(y), row(y), rowBytes);
    return copy;
}

} // namespace waterline

#include "FramePool.h"

#include <new>

namespace waterline {

std::shared_ptr<FramePool> FramePool::create(Size frameSize, PixelFormat format)
{
    return std::shared_ptr<FramePool>(new FramePool(frameSize, format));
}

FramePool::FramePool(Size size, PixelFormat format)
    : m_size(size)
    , m_format(format)
    , m_byteCount(static_cast<std::size_t>(size.width) * size.height * PixelBuffer::kBytesPerPixel)
{
}

std::unique_ptr<PixelBuffer> FramePool::take()
{
    std::unique_ptr<std::uint8_t[]> bytes;
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            bytes = std::move(m_idle.back());
            m_idle.pop_back();
        }
    }
    if (!bytes) {
        bytes.reset(new (std::nothrow) std::uint8_t[m_byteCount]);
        if (!bytes)
            return nullptr;
    }
    std::span<std::byte> memory{reinterpret_cast<std::byte*>(bytes.get()), m_byteCount};
    auto stride = static_cast<std::size_t>(m_size.width) * PixelBuffer::kBytesPerPixel;
    // The release hook keeps the pool alive, so a frame may outlive its session.
    auto buffer = PixelBuffer::wrap(m_format, m_size, stride, memory,
                                    [pool = shared_from_this(), raw = bytes.get()] { pool->giveBack(raw); });
    if (buffer)
        bytes.release(); // now owned by the buffer's release hook
    return buffer;
}

void FramePool::giveBack(std::uint8_t* bytes)
{
    std::unique_ptr<std::uint8_t[]> owned(bytes);
    std::lock_guard lock(m_mutex);
    if (m_idle.size() < kMaxIdle)
        m_idle.push_back(std::move(owned));
}

std::size_t FramePool::idleCount() const
{
    std::lock_guard lock(m_mutex);
    return m_idle.size();
}

} // namespace waterline

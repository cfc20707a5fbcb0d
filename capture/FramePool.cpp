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
    auto bytes = m_idle.with([](auto& idle) {
        std::unique_ptr<std::uint8_t[]> reused;
        if (!idle.empty()) {
            reused = std::move(idle.back());
            idle.pop_back();
        }
        return reused;
    });
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
    m_idle.with([&](auto& idle) {
        if (idle.size() < kMaxIdle)
            idle.push_back(std::move(owned));
    });
}

std::size_t FramePool::idleCount() const
{
    return m_idle.with([](const auto& idle) { return idle.size(); });
}

} // namespace waterline

// Recycled frame memory for the capture session. At most one frame is in flight
// towards the handler, so a running session needs only a couple of 640 × 480 buffers;
// reusing them spares a 1.2 MB allocation (and its page faults) on every frame.
#pragma once

#include <waterline/foundation/Guarded.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace waterline {

class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    static std::shared_ptr<FramePool> create(Size frameSize, PixelFormat);

    // A buffer with a tight stride, its content left from its last use. Its memory
    // returns to the pool when the buffer is destroyed, on whatever thread that is.
    // Empty when memory runs out.
    std::unique_ptr<PixelBuffer> take();

    std::size_t idleCount() const;

private:
    FramePool(Size, PixelFormat);
    void giveBack(std::uint8_t* bytes);

    static constexpr std::size_t kMaxIdle = 2;

    Size m_size;
    PixelFormat m_format;
    std::size_t m_byteCount;
    Guarded<std::vector<std::unique_ptr<std::uint8_t[]>>> m_idle;
};

} // namespace waterline

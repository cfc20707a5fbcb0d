#include <waterline/capture/CaptureSession.h>

#include "FramePool.h"

#include <cstdio>

namespace waterline {

CaptureSession::CaptureSession(std::unique_ptr<CameraDevice> device, FrameHandler handler, Options options)
    : m_device(std::move(device))
    , m_handler(std::move(handler))
    , m_options(std::move(options))
    , m_pool(FramePool::create(kCameraFrameSize, PixelFormat::BGRA32Premultiplied))
    , m_queue(std::make_unique<SerialQueue>(m_options.queueName))
{
}

CaptureSession::~CaptureSession()
{
    stopRunning();
}

bool CaptureSession::startRunning()
{
    if (m_running)
        return true;
    m_hasDelivered = false;
    m_running = true;
    if (!m_device->startRunning(*this)) {
        m_running = false;
        return false;
    }
    return true;
}

void CaptureSession::stopRunning()
{
    m_running = false;
    // Joins the producer thread only; a frame already queued is left to finish.
    m_device->stopRunning();
}

CaptureSession::Statistics CaptureSession::statistics() const
{
    return {m_delivered.load(), m_droppedEarly.load(), m_droppedBusy.load()};
}

bool CaptureSession::offerFrame(const FrameWriter& write)
{
    if (!m_running)
        return false;
    auto now = std::chrono::steady_clock::now();
    if (m_hasDelivered && now - m_lastDelivered < m_options.minFrameDuration) {
        ++m_droppedEarly;
        return false;
    }
    if (m_frameInFlight.exchange(true)) {
        ++m_droppedBusy;
        return false;
    }

    std::shared_ptr<PixelBuffer> frame = m_pool->take();
    if (!frame || !write(*frame)) {
        m_frameInFlight = false;
        return false;
    }
    m_lastDelivered = now;
    m_hasDelivered = true;
    ++m_delivered;
    m_queue->async([this, frame]() mutable {
        // Even a handler that throws must not leave the session dropping every frame.
        struct EndOfFlight {
            std::atomic<bool>& flag;
            ~EndOfFlight() { flag = false; }
        } endOfFlight{m_frameInFlight};
        m_handler(*frame);
        frame.reset(); // back to the pool before the next frame may be taken
    });
    return true;
}

void CaptureSession::deviceEnded(const std::string& reason)
{
    m_running = false;
    std::fprintf(stderr, "capture: camera \"%s\" stopped: %s\n", m_device->name().c_str(), reason.c_str());
    if (onDeviceEnded)
        onDeviceEnded(reason);
}

} // namespace waterline

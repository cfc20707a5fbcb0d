#include <waterline/capture/V4L2Camera.h>

#include <waterline/capture/CaptureError.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace waterline {

namespace {

constexpr unsigned kBufferCount = 4;
constexpr unsigned kFramesPerSecondAsked = 12;

int ioctlRetrying(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

// "what: the system's reason"; errnoText is safe on the producer thread.
std::string describeErrno(const char* what)
{
    return std::string(what) + ": " + errnoText(errno);
}

ErrorPtr streamFailure(const char* what)
{
    int failure = errno;
    return captureError(CaptureErrorCode::StreamFailed, std::string(what) + ": " + errnoText(failure),
                        Error::fromErrno(failure));
}

// The card name when `fd` is a video capture node that can stream.
std::optional<std::string> captureCardName(int fd)
{
    v4l2_capability capability{};
    if (ioctlRetrying(fd, VIDIOC_QUERYCAP, &capability) != 0)
        return std::nullopt;
    // A multi-function device lists what every node can do; device_caps is this node's.
    auto caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return std::nullopt;
    const auto* card = reinterpret_cast<const char*>(capability.card);
    return std::string(card, strnlen(card, sizeof capability.card));
}

ErrorOr<FileDescriptor> openNode(const std::filesystem::path& node)
{
    return FileDescriptor::open(node, O_RDWR | O_NONBLOCK);
}

} // namespace

std::optional<std::string> V4L2Camera::probe(const std::filesystem::path& node)
{
    auto device = openNode(node);
    if (!device)
        return std::nullopt;
    return captureCardName(device->get());
}

ErrorOr<std::unique_ptr<V4L2Camera>> V4L2Camera::open(const std::filesystem::path& node)
{
    auto unavailable = [&](const std::string& reason, ErrorPtr cause = {}) {
        return captureError(CaptureErrorCode::DeviceUnavailable, node.string() + ": " + reason, std::move(cause));
    };
    auto device = openNode(node);
    if (!device) {
        int failure = device.error()->code();
        return unavailable("open: " + errnoText(failure), device.releaseError());
    }
    auto name = captureCardName(device->get());
    if (!name)
        return unavailable("not a streaming video capture device");
    auto converter = FrameConverter::forDevice(device->get());
    if (!converter)
        return unavailable("the frame converter could not be set up");
    auto camera = std::unique_ptr<V4L2Camera>(new V4L2Camera(node, device.releaseValue(), *name));
    camera->m_converter = std::move(converter);
    camera->readFlashControls();
    return camera;
}

V4L2Camera::V4L2Camera(std::filesystem::path node, FileDescriptor device, std::string name)
    : m_node(std::move(node))
    , m_device(std::move(device))
    , m_name(std::move(name))
{
}

V4L2Camera::~V4L2Camera()
{
    stopRunning();
    m_converter.reset(); // before the device it was made for closes
}

void V4L2Camera::readFlashControls()
{
    v4l2_queryctrl control{};
    control.id = V4L2_CID_FLASH_LED_MODE;
    if (ioctlRetrying(m_device.get(), VIDIOC_QUERYCTRL, &control) != 0 || (control.flags & V4L2_CTRL_FLAG_DISABLED))
        return;
    auto hasMenuEntry = [&](std::uint32_t index) {
        if (index < static_cast<std::uint32_t>(control.minimum) || index > static_cast<std::uint32_t>(control.maximum))
            return false;
        v4l2_querymenu entry{};
        entry.id = V4L2_CID_FLASH_LED_MODE;
        entry.index = index;
        return ioctlRetrying(m_device.get(), VIDIOC_QUERYMENU, &entry) == 0;
    };
    m_hasTorch = hasMenuEntry(V4L2_FLASH_LED_MODE_TORCH);
    m_hasFlash = hasMenuEntry(V4L2_FLASH_LED_MODE_FLASH);
}

void V4L2Camera::setLedMode(int mode)
{
    v4l2_control control{};
    control.id = V4L2_CID_FLASH_LED_MODE;
    control.value = mode;
    if (ioctlRetrying(m_device.get(), VIDIOC_S_CTRL, &control) != 0)
        std::fprintf(stderr, "capture: %s: %s\n", m_node.c_str(), describeErrno("setting the LED mode").c_str());
}

void V4L2Camera::setTorchMode(TorchMode mode)
{
    if (!m_hasTorch)
        return;
    setLedMode(mode == TorchMode::On ? V4L2_FLASH_LED_MODE_TORCH : V4L2_FLASH_LED_MODE_NONE);
    m_torchMode = mode;
}

void V4L2Camera::setFlashMode(FlashMode mode)
{
    // The LED has one mode at a time; a lit torch wins over arming the flash.
    if (!m_hasFlash || m_torchMode == TorchMode::On)
        return;
    setLedMode(mode == FlashMode::On ? V4L2_FLASH_LED_MODE_FLASH : V4L2_FLASH_LED_MODE_NONE);
}

ErrorOr<void> V4L2Camera::configureStream()
{
    auto native = WL_TRY(m_converter->nativeFormatFor(kCameraFrameSize));
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<std::uint32_t>(native.size.width);
    format.fmt.pix.height = static_cast<std::uint32_t>(native.size.height);
    format.fmt.pix.pixelformat = native.pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (ioctlRetrying(m_device.get(), VIDIOC_S_FMT, &format) != 0)
        return streamFailure("VIDIOC_S_FMT");
    m_nativeFormat = {format.fmt.pix.pixelformat,
                      {static_cast<int>(format.fmt.pix.width), static_cast<int>(format.fmt.pix.height)},
                      format.fmt.pix.bytesperline,
                      format.fmt.pix.sizeimage};

    // Many drivers cannot slow down; the session's cap holds either way.
    v4l2_streamparm rate{};
    rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    rate.parm.capture.timeperframe = {1, kFramesPerSecondAsked};
    ioctlRetrying(m_device.get(), VIDIOC_S_PARM, &rate);

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (ioctlRetrying(m_device.get(), VIDIOC_REQBUFS, &request) != 0 || request.count == 0)
        return streamFailure("VIDIOC_REQBUFS");
    WL_TRY(mapAndQueueBuffers(request.count));
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (ioctlRetrying(m_device.get(), VIDIOC_STREAMON, &type) != 0)
        return streamFailure("VIDIOC_STREAMON");
    m_streaming = true;
    return {};
}

ErrorOr<void> V4L2Camera::mapAndQueueBuffers(unsigned count)
{
    for (unsigned index = 0; index < count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (ioctlRetrying(m_device.get(), VIDIOC_QUERYBUF, &buffer) != 0)
            return streamFailure("VIDIOC_QUERYBUF");
        void* start
            = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_device.get(), buffer.m.offset);
        if (start == MAP_FAILED)
            return streamFailure("mmap");
        m_buffers.push_back({start, buffer.length});
        if (ioctlRetrying(m_device.get(), VIDIOC_QBUF, &buffer) != 0)
            return streamFailure("VIDIOC_QBUF");
    }
    return {};
}

void V4L2Camera::releaseStream()
{
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        ioctlRetrying(m_device.get(), VIDIOC_STREAMOFF, &type); // fails harmlessly on a vanished device
        m_streaming = false;
    }
    for (auto& buffer : m_buffers)
        ::munmap(buffer.start, buffer.length);
    if (!m_buffers.empty()) {
        m_buffers.clear();
        v4l2_requestbuffers none{};
        none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        none.memory = V4L2_MEMORY_MMAP;
        ioctlRetrying(m_device.get(), VIDIOC_REQBUFS, &none);
    }
    (void)m_stopEvent.close(); // a failed close of an eventfd leaves nothing to undo
}

bool V4L2Camera::startRunning(FrameSink& sink)
{
    stopRunning();
    m_stopEvent = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    auto configured = m_stopEvent ? configureStream() : ErrorOr<void>(streamFailure("eventfd"));
    if (configured) {
        m_producer = std::thread([this, &sink] { produceFrames(sink); });
        return true;
    }
    std::fprintf(stderr, "capture: %s: cannot start: %s\n", m_node.c_str(),
                 configured.error()->localizedDescription().c_str());
    releaseStream();
    return false;
}

void V4L2Camera::stopRunning()
{
    if (m_producer.joinable()) {
        std::uint64_t one = 1;
        if (::write(m_stopEvent.get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
            std::fprintf(stderr, "capture: %s: %s\n", m_node.c_str(), describeErrno("waking the producer").c_str());
        m_producer.join();
    }
    releaseStream();
}

void V4L2Camera::produceFrames(FrameSink& sink)
{
    for (;;) {
        pollfd waits[2] = {{m_device.get(), POLLIN, 0}, {m_stopEvent.get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            sink.deviceEnded(describeErrno("poll"));
            return;
        }
        if (waits[1].revents & POLLIN)
            return;
        if (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            sink.deviceEnded("the device went away");
            return;
        }
        if (!(waits[0].revents & POLLIN))
            continue;

        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (ioctlRetrying(m_device.get(), VIDIOC_DQBUF, &buffer) != 0) {
            if (errno == EAGAIN)
                continue;
            sink.deviceEnded(describeErrno("VIDIOC_DQBUF"));
            return;
        }
        if (buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const auto& mapped = m_buffers[buffer.index];
            std::size_t used = buffer.bytesused ? buffer.bytesused : mapped.length;
            std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(mapped.start),
                                                std::min<std::size_t>(used, mapped.length));
            sink.offerFrame([&](PixelBuffer& frame) {
                // A corrupt compressed frame is dropped; the next one usually decodes.
                return !m_converter->convert(m_nativeFormat, bytes, frame).isError();
            });
        }
        if (ioctlRetrying(m_device.get(), VIDIOC_QBUF, &buffer) != 0) {
            sink.deviceEnded(describeErrno("VIDIOC_QBUF"));
            return;
        }
    }
}

} // namespace waterline

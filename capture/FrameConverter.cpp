#include <waterline/capture/FrameConverter.h>

#include <waterline/capture/CaptureError.h>

#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>

namespace waterline {

namespace {

constexpr int kPackedBytesPerPixel = 3;

// With no device behind it, libv4lconvert still asks what it is converting for; this
// answers as a plain capture device and refuses every other request, as a device with
// no controls and no format list would.
int answerWithoutDevice(void*, int, unsigned long request, void* argument)
{
    if (request == VIDIOC_QUERYCAP) {
        auto* capability = static_cast<v4l2_capability*>(argument);
        std::memset(capability, 0, sizeof *capability);
        std::strncpy(reinterpret_cast<char*>(capability->driver), "recorded", sizeof capability->driver - 1);
        capability->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        capability->device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

const libv4l_dev_ops* noDeviceOps()
{
    static const libv4l_dev_ops ops = [] {
        libv4l_dev_ops table{}; // the rest stays null: no plugin hooks
        table.ioctl = answerWithoutDevice;
        return table;
    }();
    return &ops;
}

v4l2_format toV4L2(const V4L2FrameFormat& format)
{
    v4l2_format v4l2{};
    v4l2.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    v4l2.fmt.pix.width = static_cast<std::uint32_t>(format.size.width);
    v4l2.fmt.pix.height = static_cast<std::uint32_t>(format.size.height);
    v4l2.fmt.pix.pixelformat = format.pixelFormat;
    v4l2.fmt.pix.field = V4L2_FIELD_NONE;
    v4l2.fmt.pix.bytesperline = format.bytesPerLine;
    v4l2.fmt.pix.sizeimage = format.imageSize;
    return v4l2;
}

V4L2FrameFormat fromV4L2(const v4l2_format& v4l2)
{
    return {v4l2.fmt.pix.pixelformat,
            {static_cast<int>(v4l2.fmt.pix.width), static_cast<int>(v4l2.fmt.pix.height)},
            v4l2.fmt.pix.bytesperline,
            v4l2.fmt.pix.sizeimage};
}

V4L2FrameFormat packedFormat(Size size)
{
    auto bytesPerLine = static_cast<std::uint32_t>(size.width * kPackedBytesPerPixel);
    return {V4L2_PIX_FMT_BGR24, size, bytesPerLine, bytesPerLine * static_cast<std::uint32_t>(size.height)};
}

} // namespace

std::unique_ptr<FrameConverter> FrameConverter::forDevice(int fd)
{
    auto* converter = v4lconvert_create(fd);
    if (!converter)
        return nullptr;
    return std::unique_ptr<FrameConverter>(new FrameConverter(converter));
}

std::unique_ptr<FrameConverter> FrameConverter::standalone()
{
    auto* converter = v4lconvert_create_with_dev_ops(-1, nullptr, noDeviceOps());
    if (!converter)
        return nullptr;
    return std::unique_ptr<FrameConverter>(new FrameConverter(converter));
}

FrameConverter::FrameConverter(v4lconvert_data* converter)
    : m_converter(converter)
{
}

FrameConverter::~FrameConverter()
{
    v4lconvert_destroy(m_converter);
}

ErrorOr<V4L2FrameFormat> FrameConverter::nativeFormatFor(Size wanted)
{
    auto requested = toV4L2(packedFormat(wanted));
    v4l2_format native{};
    if (v4lconvert_try_format(m_converter, &requested, &native) != 0)
        return captureError(CaptureErrorCode::NoConvertibleFormat,
                            std::string("no format that converts to BGR: ")
                                + v4lconvert_get_error_message(m_converter));
    return fromV4L2(native);
}

ErrorOr<void> FrameConverter::convert(const V4L2FrameFormat& source, std::span<const std::uint8_t> bytes,
                                      PixelBuffer& frame)
{
    if (source.size.isEmpty() || frame.format() != PixelFormat::BGRA32Premultiplied)
        return captureError(CaptureErrorCode::FrameUndecodable, "unusable frame format");
    auto packed = packedFormat(source.size);
    m_packed.resize(packed.imageSize);
    auto sourceFormat = toV4L2(source);
    auto packedV4L2 = toV4L2(packed);
    // libv4lconvert does not write to the source, it only lacks the const.
    auto* sourceBytes = const_cast<std::uint8_t*>(bytes.data());
    int written
        = v4lconvert_convert(m_converter, &sourceFormat, &packedV4L2, sourceBytes, static_cast<int>(bytes.size()),
                             m_packed.data(), static_cast<int>(m_packed.size()));
    if (written < 0)
        return captureError(CaptureErrorCode::FrameUndecodable, v4lconvert_get_error_message(m_converter));
    // Some decoders report a short frame by writing less; the rest would be stale.
    if (static_cast<std::uint32_t>(written) < packed.imageSize)
        return captureError(CaptureErrorCode::FrameUndecodable, "short frame");
    expandToBGRA(source.size, frame);
    return {};
}

void FrameConverter::expandToBGRA(Size decodedSize, PixelBuffer& frame) const
{
    const auto packedStride = static_cast<std::size_t>(decodedSize.width) * kPackedBytesPerPixel;
    const bool sameSize = decodedSize == frame.size();
    for (int y = 0; y < frame.height(); ++y) {
        int sourceRow
            = sameSize ? y : static_cast<int>(static_cast<std::int64_t>(y) * decodedSize.height / frame.height());
        const std::uint8_t* in = m_packed.data() + static_cast<std::size_t>(sourceRow) * packedStride;
        std::uint8_t* out = frame.row(y);
        if (sameSize) {
            for (int x = 0; x < frame.width(); ++x, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 0xFF;
            }
            continue;
        }
        for (int x = 0; x < frame.width(); ++x, out += 4) {
            auto sourceColumn
                = static_cast<std::size_t>(static_cast<std::int64_t>(x) * decodedSize.width / frame.width());
            const std::uint8_t* pixel = in + sourceColumn * kPackedBytesPerPixel;
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            out[3] = 0xFF;
        }
    }
}

} // namespace waterline

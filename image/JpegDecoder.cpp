// JPEG decoding through libjpeg's own interface rather than TurboJPEG's: only there can
// every warning be judged as it happens (TurboJPEG keeps the text of the first one), the
// number of scans be bounded and a decode be abandoned half-way.
//
// libjpeg reports failures by longjmp. The functions that call into it hold nothing
// with a destructor, so jumping out of them skips no clean-up; the session's own
// destructor releases libjpeg's memory afterwards.
#include <waterline/image/JpegCodec.h>

#include "DecodeRaster.h"

#include <waterline/image/ExifOrientation.h>
#include <waterline/image/PictureFileError.h>
#include <waterline/image/PixelConversion.h>

#include <turbojpeg.h>

#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <limits>
#include <string>

namespace waterline::image {

namespace {

// Warnings about blemishes that leave every pixel intact: stray bytes between segments
// (common in camera files), unknown metadata versions, a broken ICC profile (ignored).
// Every other warning means pixel data is missing or wrong.
bool isHarmlessWarning(int messageCode)
{
    switch (messageCode) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_ADOBE_XFORM:
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
        return true;
    default:
        return false;
    }
}

enum class Stop { None, Corrupt, TooManyScans, Cancelled };

struct Session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    Stop stop = Stop::None;
    char message[JMSG_LENGTH_MAX] = {};
    const std::atomic<bool>* cancelled = nullptr;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { jpeg_destroy_decompress(&info); }

    static Session& of(j_common_ptr common) { return *static_cast<Session*>(common->client_data); }
};

[[noreturn]] void stopWith(j_common_ptr common, Stop stop)
{
    auto& session = Session::of(common);
    session.stop = stop;
    std::longjmp(session.jump, 1);
}

[[noreturn]] void onError(j_common_ptr common)
{
    common->err->format_message(common, Session::of(common).message);
    stopWith(common, Stop::Corrupt);
}

void onMessage(j_common_ptr common, int level)
{
    // Levels above -1 are trace output.
    if (level != -1 || isHarmlessWarning(common->err->msg_code))
        return;
    common->err->format_message(common, Session::of(common).message);
    stopWith(common, Stop::Corrupt);
}

void onProgress(j_common_ptr common)
{
    auto& session = Session::of(common);
    if (session.cancelled && session.cancelled->load(std::memory_order_relaxed))
        stopWith(common, Stop::Cancelled);
    if (session.info.input_scan_number > kMaxJPEGScans)
        stopWith(common, Stop::TooManyScans);
}

void startSession(Session& session, std::span<const std::uint8_t> bytes, const std::atomic<bool>* cancelled)
{
    session.info.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = onError;
    session.errors.emit_message = onMessage;
    session.info.client_data = &session;
    session.cancelled = cancelled;
    jpeg_create_decompress(&session.info);
    session.progress.progress_monitor = onProgress;
    session.info.progress = &session.progress;
    jpeg_mem_src(&session.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
}

// False when libjpeg stopped; session.stop says why.
bool readHeader(Session& session)
{
    if (setjmp(session.jump))
        return false;
    jpeg_read_header(&session.info, TRUE);
    return true;
}

bool isCMYK(const jpeg_decompress_struct& info)
{
    return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// Sets the output scale and colour space, and notes whether the file has several scans;
// false when libjpeg stopped.
bool prepareOutput(Session& session, tjscalingfactor scale, bool& multipleScans)
{
    if (setjmp(session.jump))
        return false;
    auto& info = session.info;
    multipleScans = jpeg_has_multiple_scans(&info);
    info.scale_num = static_cast<unsigned>(scale.num);
    info.scale_denom = static_cast<unsigned>(scale.denom);
    // CMYK has no direct route to RGB in libjpeg; it is converted row by row below.
    info.out_color_space = isCMYK(info) ? JCS_CMYK : JCS_EXT_ARGB;
    jpeg_calc_output_dimensions(&info);
    return true;
}

// Decodes every row into `raster` (sized by prepareOutput); false when libjpeg stopped.
bool readPixels(Session& session, PixelBuffer& raster)
{
    if (setjmp(session.jump))
        return false;
    auto& info = session.info;
    jpeg_start_decompress(&info);
    bool cmyk = info.out_color_space == JCS_CMYK;
    // Adobe's writers, the usual source of CMYK files, store the channels inverted.
    bool inverted = cmyk && info.saw_Adobe_marker;
    JSAMPARRAY cmykRow = cmyk
        ? info.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1)
        : nullptr;
    while (info.output_scanline < info.output_height) {
        JDIMENSION y = info.output_scanline;
        JSAMPROW target = raster.row(static_cast<int>(y));
        jpeg_read_scanlines(&info, cmyk ? cmykRow : &target, 1);
        if (cmyk)
            cmykRowToARGB(cmykRow[0], target, static_cast<int>(info.output_width), {.inverted = inverted});
    }
    jpeg_finish_decompress(&info);
    return true;
}

// Where decoding stopped: in the header or in the pixel data that follows it.
enum class Part { Header, Data };

ErrorPtr stopped(const Session& session, Part part)
{
    switch (session.stop) {
    case Stop::TooManyScans:
        return pictureFileError(PictureFileErrorCode::CorruptData,
                                "corrupt JPEG data: more than " + std::to_string(kMaxJPEGScans) + " scans");
    case Stop::Cancelled:
        return pictureFileError(PictureFileErrorCode::Cancelled, "JPEG decoding cancelled");
    case Stop::Corrupt:
    case Stop::None:
        break;
    }
    if (part == Part::Header)
        return pictureFileError(PictureFileErrorCode::CorruptHeader,
                                std::string("corrupt JPEG header: ") + session.message);
    return pictureFileError(PictureFileErrorCode::CorruptData, std::string("corrupt JPEG data: ") + session.message);
}

ErrorOr<Size> readStoredSize(Session& session, std::span<const std::uint8_t> bytes, const std::atomic<bool>* cancelled)
{
    if (bytes.size() > std::numeric_limits<unsigned long>::max())
        return pictureFileError(PictureFileErrorCode::TooLarge, "JPEG file too large");
    startSession(session, bytes, cancelled);
    if (!readHeader(session))
        return stopped(session, Part::Header);
    Size size{static_cast<int>(std::min<JDIMENSION>(session.info.image_width, INT_MAX)),
              static_cast<int>(std::min<JDIMENSION>(session.info.image_height, INT_MAX))};
    if (size.isEmpty())
        return pictureFileError(PictureFileErrorCode::CorruptHeader, "corrupt JPEG header: no pixels");
    return size;
}

// The smallest DCT scale whose upright size still covers `cover`; 1/1 when none does.
tjscalingfactor scaleCovering(Size stored, bool swapsSides, std::optional<Size> cover)
{
    tjscalingfactor best{1, 1};
    if (!cover)
        return best;
    int count = 0;
    tjscalingfactor* factors = tjGetScalingFactors(&count);
    long bestPixels = static_cast<long>(stored.width) * stored.height;
    for (int i = 0; factors && i < count; ++i) {
        int width = TJSCALED(stored.width, factors[i]);
        int height = TJSCALED(stored.height, factors[i]);
        if (swapsSides)
            std::swap(width, height);
        long pixels = static_cast<long>(width) * height;
        if (width >= cover->width && height >= cover->height && pixels < bestPixels) {
            best = factors[i];
            bestPixels = pixels;
        }
    }
    return best;
}

} // namespace

ErrorOr<JPEGHeader> readJPEGHeader(std::span<const std::uint8_t> bytes)
{
    Session session;
    auto size = WL_TRY(readStoredSize(session, bytes, nullptr));
    return JPEGHeader{size, readExifOrientation(bytes)};
}

ErrorOr<DecodedJPEG> decodeJPEG(std::span<const std::uint8_t> bytes, JPEGDecodeOptions options)
{
    Session session;
    auto stored = WL_TRY(readStoredSize(session, bytes, options.cancelled));
    int orientation = readExifOrientation(bytes);
    auto scale = scaleCovering(stored, exifOrientationSwapsSides(orientation), options.coverSize);
    bool multipleScans = false;
    if (!prepareOutput(session, scale, multipleScans))
        return stopped(session, Part::Header);
    // Several scans are gathered in a buffer of the whole stored picture, whatever the
    // output scale, so the stored size itself must be one we decode: a tiny file claiming
    // gigapixels would otherwise cost gigabytes and minutes.
    if (multipleScans)
        WL_TRY(checkClaimedSize("JPEG", stored));
    Size size{static_cast<int>(session.info.output_width), static_cast<int>(session.info.output_height)};
    auto raster = WL_TRY(createDecodeRaster("JPEG", stored, size));
    if (!readPixels(session, *raster))
        return stopped(session, Part::Data);
    return DecodedJPEG{std::move(raster), orientation};
}

} // namespace waterline::image

#include <waterline/ui/PngWriter.h>

#include <waterline/image/PngCodec.h>
#include <waterline/ui/UIError.h>

namespace waterline {

ErrorOr<void> writePng(const PixelBuffer& pixels, const std::string& path)
{
    auto written = image::writePNGFile(pixels, path);
    if (written)
        return {};
    auto cause = written.releaseError();
    return Error::create(kUIErrorDomain, static_cast<int>(UIErrorCode::ScreenshotFailed),
                         "could not write " + path + ": " + cause->localizedDescription(), cause);
}

} // namespace waterline

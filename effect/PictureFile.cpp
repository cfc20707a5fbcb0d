#include <waterline/effect/PictureFile.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/image/JpegCodec.h>
#include <waterline/image/PngCodec.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace waterline {

namespace {

ErrorPtr emptyFile()
{
    return pictureFileError(PictureFileErrorCode::EmptyFile, "empty file");
}

ErrorPtr unknownFormat()
{
    return pictureFileError(PictureFileErrorCode::UnknownFormat, "not a JPEG or PNG file");
}

// EXIF orientations 1, 3, 8, 6, 2, 4, 5, 7 are our tags 0 … 7.
PictureOrientation orientationForExifValue(int exifValue)
{
    switch (exifValue) {
    case 3:
        return PictureOrientation::Down;
    case 8:
        return PictureOrientation::Left;
    case 6:
        return PictureOrientation::Right;
    case 2:
        return PictureOrientation::UpMirrored;
    case 4:
        return PictureOrientation::DownMirrored;
    case 5:
        return PictureOrientation::LeftMirrored;
    case 7:
        return PictureOrientation::RightMirrored;
    default:
        return PictureOrientation::Up;
    }
}

// The same error with the file's path in front of its description.
ErrorPtr namingFile(const std::filesystem::path& path, const ErrorPtr& error)
{
    return Error::create(error->domain(), error->code(), path.string() + ": " + error->localizedDescription(),
                         error->underlyingError());
}

} // namespace

SizeF PictureFileInfo::uprightSize() const
{
    auto width = static_cast<double>(storedSize.width);
    auto height = static_cast<double>(storedSize.height);
    return swapsSides(orientation) ? SizeF{height, width} : SizeF{width, height};
}

ErrorOr<PictureFileInfo> PictureFile::probe(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return emptyFile();
    PictureFileInfo info;
    if (image::looksLikeJPEG(bytes)) {
        auto header = WL_TRY(image::readJPEGHeader(bytes));
        info.type = PictureFileType::JPEG;
        info.storedSize = header.size;
        info.orientation = orientationForExifValue(header.exifOrientation);
        return info;
    }
    if (image::looksLikePNG(bytes)) {
        info.type = PictureFileType::PNG;
        info.storedSize = WL_TRY(image::readPNGSize(bytes));
        info.orientation = orientationForExifValue(image::readPNGExifOrientation(bytes));
        return info;
    }
    return unknownFormat();
}

ErrorOr<std::shared_ptr<Picture>> PictureFile::decode(std::span<const std::uint8_t> bytes, PictureDecodeOptions options)
{
    if (bytes.empty())
        return emptyFile();
    if (image::looksLikeJPEG(bytes)) {
        auto decoded
            = WL_TRY(image::decodeJPEG(bytes, {.coverSize = options.coverSize, .cancelled = options.cancelled}));
        return Picture::create(std::move(decoded.raster), orientationForExifValue(decoded.exifOrientation));
    }
    if (image::looksLikePNG(bytes))
        return Picture::create(WL_TRY(image::decodePNG(bytes)),
                               orientationForExifValue(image::readPNGExifOrientation(bytes)));
    return unknownFormat();
}

ErrorOr<std::vector<std::uint8_t>> PictureFile::readContents(const std::filesystem::path& path)
{
    auto contents = readFile(path, {.maxBytes = kMaxFileBytes});
    if (contents)
        return contents.releaseValue();
    auto cause = contents.releaseError();
    bool tooLarge = cause->domain() == Error::kPOSIXErrorDomain && cause->code() == EFBIG;
    std::string reason = tooLarge ? "file too large" : errnoText(cause->code());
    return pictureFileError(tooLarge ? PictureFileErrorCode::TooLarge : PictureFileErrorCode::ReadFailed,
                            path.string() + ": " + reason, cause);
}

ErrorOr<std::shared_ptr<Picture>> PictureFile::read(const std::filesystem::path& path, PictureDecodeOptions options)
{
    auto bytes = WL_TRY(readContents(path));
    auto picture = decode(bytes, options);
    if (!picture)
        return namingFile(path, picture.error());
    return picture;
}

ErrorOr<std::vector<std::uint8_t>> PictureFile::encodeJPEG(const PixelBuffer& buffer, float quality)
{
    return image::encodeJPEG(buffer, quality);
}

ErrorOr<std::vector<std::uint8_t>> PictureFile::encodePNG(const PixelBuffer& buffer)
{
    return image::encodePNG(buffer);
}

std::optional<PictureFileType> PictureFile::typeForExtension(const std::filesystem::path& path)
{
    auto extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".jpg" || extension == ".jpeg")
        return PictureFileType::JPEG;
    if (extension == ".png")
        return PictureFileType::PNG;
    return std::nullopt;
}

} // namespace waterline

#include <waterline/effect/PictureFile.h>

#include "JpegCodec.h"
#include "PngCodec.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace waterline {

namespace {

constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

PictureFileResult<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path& path)
{
    using Result = PictureFileResult<std::vector<std::uint8_t>>;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Result::failure(path.string() + ": " + std::strerror(errno));
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error)
        return Result::failure(path.string() + ": " + error.message());
    if (size > kMaxFileBytes)
        return Result::failure(path.string() + ": file too large");
    std::vector<std::uint8_t> bytes(size);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return Result::failure(path.string() + ": read error");
    return {std::move(bytes), {}};
}

constexpr const char* kUnknownFormat = "not a JPEG or PNG file";

} // namespace

SizeF PictureFileInfo::uprightSize() const
{
    auto width = static_cast<double>(storedSize.width);
    auto height = static_cast<double>(storedSize.height);
    return swapsSides(orientation) ? SizeF{height, width} : SizeF{width, height};
}

PictureFileResult<PictureFileInfo> PictureFile::probe(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return PictureFileResult<PictureFileInfo>::failure("empty file");
    if (jpeg::looksLikeJPEG(bytes))
        return jpeg::probe(bytes);
    if (png::looksLikePNG(bytes))
        return png::probe(bytes);
    return PictureFileResult<PictureFileInfo>::failure(kUnknownFormat);
}

PictureFileResult<std::shared_ptr<Picture>> PictureFile::decode(std::span<const std::uint8_t> bytes,
                                                                PictureDecodeOptions options)
{
    using Result = PictureFileResult<std::shared_ptr<Picture>>;
    if (bytes.empty())
        return Result::failure("empty file");
    if (jpeg::looksLikeJPEG(bytes))
        return jpeg::decode(bytes, options);
    if (png::looksLikePNG(bytes))
        return png::decode(bytes);
    return Result::failure(kUnknownFormat);
}

PictureFileResult<std::shared_ptr<Picture>> PictureFile::read(const std::filesystem::path& path,
                                                              PictureDecodeOptions options)
{
    auto bytes = readWholeFile(path);
    if (!bytes)
        return PictureFileResult<std::shared_ptr<Picture>>::failure(bytes.error);
    auto result = decode(bytes.value, options);
    if (!result)
        result.error = path.string() + ": " + result.error;
    return result;
}

PictureFileResult<std::vector<std::uint8_t>> PictureFile::encodeJPEG(const PixelBuffer& buffer, float quality)
{
    return jpeg::encode(buffer, quality);
}

PictureFileResult<std::vector<std::uint8_t>> PictureFile::encodePNG(const PixelBuffer& buffer)
{
    return png::encode(buffer);
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

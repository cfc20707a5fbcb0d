#include <waterline/image/PictureFileError.h>

namespace waterline {

const char* toString(PictureFileErrorCode code)
{
    switch (code) {
    case PictureFileErrorCode::EmptyFile:
        return "EmptyFile";
    case PictureFileErrorCode::UnknownFormat:
        return "UnknownFormat";
    case PictureFileErrorCode::CorruptHeader:
        return "CorruptHeader";
    case PictureFileErrorCode::CorruptData:
        return "CorruptData";
    case PictureFileErrorCode::TooLarge:
        return "TooLarge";
    case PictureFileErrorCode::OutOfMemory:
        return "OutOfMemory";
    case PictureFileErrorCode::NoPixels:
        return "NoPixels";
    case PictureFileErrorCode::InvalidQuality:
        return "InvalidQuality";
    case PictureFileErrorCode::CodecUnavailable:
        return "CodecUnavailable";
    case PictureFileErrorCode::EncodingFailed:
        return "EncodingFailed";
    case PictureFileErrorCode::ReadFailed:
        return "ReadFailed";
    case PictureFileErrorCode::Cancelled:
        return "Cancelled";
    }
    return "Unknown";
}

ErrorPtr pictureFileError(PictureFileErrorCode code, std::string description, ErrorPtr underlyingError)
{
    return Error::create(kPictureFileErrorDomain, static_cast<int>(code), std::move(description),
                         std::move(underlyingError));
}

} // namespace waterline

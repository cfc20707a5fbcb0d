// The errors of reading, decoding and encoding picture files, as error records of one
// domain. The description is the text people see ("corrupt PNG data: …"); the code
// tells a caller what kind of failure it was without reading the text.
//
//     auto raster = decodePNG(bytes);
//     if (!raster && raster.error()->code() == static_cast<int>(PictureFileErrorCode::TooLarge))
//         suggestASmallerPicture();
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline {

inline constexpr const char* kPictureFileErrorDomain = "PictureFileErrorDomain";

enum class PictureFileErrorCode {
    EmptyFile = 1,        // no bytes at all
    UnknownFormat = 2,    // neither JPEG nor PNG
    CorruptHeader = 3,    // the header cannot be read or describes no pixels
    CorruptData = 4,      // the header is fine, the pixel data is not
    TooLarge = 5,         // more pixels or bytes than we decode
    OutOfMemory = 6,      // the raster could not be allocated
    NoPixels = 7,         // asked to encode an empty raster
    InvalidQuality = 8,   // a JPEG quality outside 0 … 1
    CodecUnavailable = 9, // the codec library could not start
    EncodingFailed = 10,  // the encoder refused the pixels
    ReadFailed = 11,      // the file could not be read; the underlying error says why
    Cancelled = 12,       // the caller gave up on the decode before it finished
};

const char* toString(PictureFileErrorCode);

ErrorPtr pictureFileError(PictureFileErrorCode, std::string description, ErrorPtr underlyingError = {});

} // namespace waterline

// The errors the capture layer reports, as error records of one domain.
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline {

inline constexpr const char* kCaptureErrorDomain = "WaterlineCaptureErrorDomain";

enum class CaptureErrorCode {
    DeviceUnavailable = 1,   // the node cannot be opened or is not a streaming capture device
    NoConvertibleFormat = 2, // the device offers nothing the converter turns into BGR
    FrameUndecodable = 3,    // one frame could not be converted
    StreamFailed = 4,        // the device refused a streaming request
};

inline ErrorPtr captureError(CaptureErrorCode code, std::string description, ErrorPtr underlying = {})
{
    return Error::create(kCaptureErrorDomain, static_cast<int>(code), std::move(description), std::move(underlying));
}

} // namespace waterline

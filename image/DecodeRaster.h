// The raster a decoder fills, made only once the size a file claims has been checked.
// Private to image/.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <memory>

namespace waterline::image {

// An error when a file claims no pixels or more than kMaxDecodedPixels. For decoders
// whose work and memory follow the stored size whatever the output size.
ErrorOr<void> checkClaimedSize(const char* format, Size claimed);

// A zeroed premultiplied ARGB raster of `decoded` pixels. Refused, naming the size the
// file claims (`claimed`), when it describes no pixels or more than kMaxDecodedPixels.
// `format` ("PNG", "JPEG") names the file type in the messages.
ErrorOr<std::unique_ptr<PixelBuffer>> createDecodeRaster(const char* format, Size claimed, Size decoded);

} // namespace waterline::image

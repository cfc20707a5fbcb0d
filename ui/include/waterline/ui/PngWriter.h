// Writes a premultiplied pixel buffer as an 8-bit RGBA PNG file: the screenshot format.
// The file is written by the image library, so a screenshot has exactly the bytes a
// saved PNG of the same pixels has. Failures are ScreenshotFailed records of the UI
// domain whose text names the file.
//
//     WL_TRY(writePng(canvas.pixels(), "/tmp/shot.png"));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <string>

namespace waterline {

ErrorOr<void> writePng(const PixelBuffer&, const std::string& path);

} // namespace waterline

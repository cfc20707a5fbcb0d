// The errors the view layer reports, as error records of one domain.
#pragma once

namespace waterline {

inline constexpr const char* kUIErrorDomain = "WaterlineUIErrorDomain";

enum class UIErrorCode {
    DisplayUnavailable = 1, // no window could be opened (no display, SDL failure)
    FontMissing = 2,        // the text font is not installed
    ScreenshotFailed = 3,   // the PNG could not be written
};

} // namespace waterline

// The errors the application reports, as error records of one domain. Their
// descriptions are sentences meant for the user or for the command line.
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline {

inline constexpr const char* kAppErrorDomain = "WaterlineAppErrorDomain";

enum class AppErrorCode {
    BadCommandLine = 1,  // an unknown option or a bad value
    BadScript = 2,       // the script file cannot be read or has a bad line
    SaveFailed = 3,      // the photo could not be written to the album
    ShareFailed = 4,     // the attachment could not be written
    LaunchFailed = 5,    // a helper program could not be started
    PhotoUnreadable = 6, // a picked photo cannot be read or decoded
};

inline ErrorPtr appError(AppErrorCode code, std::string description, ErrorPtr underlying = {})
{
    return Error::create(kAppErrorDomain, static_cast<int>(code), std::move(description), std::move(underlying));
}

} // namespace waterline

// The errors wl-base64 reports: one domain, each error a line for standard error.
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline {

inline constexpr const char* kBase64ToolErrorDomain = "WlBase64ErrorDomain";

inline ErrorPtr toolError(std::string description, ErrorPtr underlying = {})
{
    return Error::create(kBase64ToolErrorDomain, 1, std::move(description), std::move(underlying));
}

// "what: the system's reason" for a failed I/O call, keeping the errno record beneath.
inline ErrorPtr ioError(const std::string& what, const ErrorPtr& cause)
{
    return toolError(what + ": " + errnoText(cause->code()), cause);
}

} // namespace waterline

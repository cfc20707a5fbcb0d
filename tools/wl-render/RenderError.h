// The errors wl-render reports: one domain, each error a line for standard error.
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline::render {

inline constexpr const char* kRenderErrorDomain = "WlRenderErrorDomain";

inline ErrorPtr renderError(std::string description, ErrorPtr underlying = {})
{
    return Error::create(kRenderErrorDomain, 1, std::move(description), std::move(underlying));
}

} // namespace waterline::render

// The text of the persistent cookie file: a header line, then one line per cookie with
// its fields separated by tabs (tabs, line breaks and backslashes inside a field are
// escaped with a backslash). Times are whole seconds and microseconds since 1970.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/http/Cookie.h>

#include <string>
#include <string_view>
#include <vector>

namespace waterline {

std::string cookieFileText(const std::vector<Cookie>& cookies);

// The cookies of a file's text; an error naming the first line that is not right.
ErrorOr<std::vector<Cookie>> cookiesFromFileText(std::string_view text);

} // namespace waterline

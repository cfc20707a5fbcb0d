// The date of a cookie's Expires attribute, read the forgiving way of RFC 6265
// section 5.1.1: any order of the parts, any delimiters between them, two-digit
// years (70-99 are 1970-1999, 0-69 are 2000-2069), month names by their first three
// letters. Every date form servers send comes out right:
//
//     parseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT");    // RFC 1123
//     parseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT");   // RFC 850
//     parseCookieDate("Sun Nov  6 08:49:37 1994");         // asctime
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace waterline {

// The point in time (UTC) the text names, or none when it names no valid date
// (a missing part, a day the month does not have, a year before 1601).
std::optional<std::chrono::system_clock::time_point> parseCookieDate(std::string_view text);

} // namespace waterline

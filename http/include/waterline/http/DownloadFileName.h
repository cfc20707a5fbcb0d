// The name a download takes in a folder, from the last path segment of its URL (the
// query and fragment do not count; %-escapes are decoded). A name that could not be
// a plain file inside that folder is refused with the reason: empty (the path ends
// in '/'), "." or "..", or holding '/' or NUL once decoded, so that "..%2Fx" cannot
// reach outside.
//
//     auto name = downloadFileNameForURL(*URL::parse("http://host/files/a%20b.iso?x=1"));   // "a b.iso"
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/http/URL.h>

#include <string>

namespace waterline {

ErrorOr<std::string> downloadFileNameForURL(const URL& url);

} // namespace waterline

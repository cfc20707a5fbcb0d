// Where each URL's body goes: the -o files in order, or files in --output-dir named
// after the last path segment of their URL. A name is refused, before anything is
// fetched, when it could not be a plain file in that folder: empty (the path ends in
// '/'), "." or "..", or holding '/' or NUL once its %-escapes are decoded (so
// "..%2Fx" cannot reach outside). Two URLs with the same name are refused too: both
// downloads would write one file at the same time.
#pragma once

#include "FetchOptions.h"

#include <waterline/foundation/ErrorOr.h>

#include <optional>
#include <string>
#include <vector>

namespace waterline::fetch {

// The file name `urlText` gives in an output folder.
ErrorOr<std::string> outputFileNameForURL(const std::string& urlText);

// One entry per URL: its file, or none for standard output.
ErrorOr<std::vector<std::optional<std::string>>> outputPathsFor(const FetchOptions& options);

} // namespace waterline::fetch

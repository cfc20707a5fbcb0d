// Where each URL's body goes: the -o files in order, or files in --output-dir named
// after their URLs (downloadFileNameForURL), refused before anything is fetched when
// such a name could not be a plain file in that folder. Two URLs with the same name
// are refused too: both downloads would write one file at the same time.
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

// Facts a program learns about itself at run time: where its executable lives, and the
// answer to `--version`.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace waterline {

// The running program's executable, from /proc/self/exe; none when it cannot be read.
std::optional<std::filesystem::path> executablePath();

// The folder an installed program keeps its data in: <prefix>/share/<name> beside
// <prefix>/bin/<program>. None unless that folder exists, so a program run from the
// build tree gets none.
std::optional<std::filesystem::path> installedDataDirectory(std::string_view name);

// When `--version` is the only argument, prints "<program> <version>" to standard output
// and returns true; the caller then exits with status 0.
bool answerVersionOption(std::string_view program, int argc, char** argv);

} // namespace waterline

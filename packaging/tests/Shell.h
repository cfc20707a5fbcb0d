// Runs shell commands for the packaging tests; each test works in a scratch folder.
#pragma once

#include "ScratchDirectory.h"

#include <filesystem>
#include <string>

namespace waterline::packagingtest {

struct CommandResult {
    int status = -1;    // the exit status; -1 when the command did not exit normally
    std::string output; // standard output and standard error together
};

// `path` in single quotes, for a shell command line (the tests' paths hold none).
std::string quoted(const std::filesystem::path& path);

// Runs `command` through /bin/sh and waits for it.
CommandResult runShell(const std::string& command);

// A fresh folder under the temporary directory, removed with its contents at the end.
using ScratchFolder = apptest::ScratchDirectory;

// Installs one component of the build tree into `destdir` under `prefix`
// (DESTDIR=destdir cmake --install ... --prefix prefix --component component).
CommandResult installComponent(const std::filesystem::path& destdir, const std::string& prefix,
                               const std::string& component);

// The programs every install carries.
inline const char* const kPrograms[] = {"waterline", "wl-base64", "wl-json", "wl-reach", "wl-render"};

} // namespace waterline::packagingtest

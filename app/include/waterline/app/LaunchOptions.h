// The application's command line:
//
//     waterline [--offscreen] [--photos DIR] [--config-dir DIR] [--script FILE] [--cameras N]
//
// --offscreen draws into memory instead of a window; --photos and --config-dir replace
// the photo library folder and the user-defaults folder; --script drives the screen
// from a file of timed touches (see Script.h) — off screen the run ends with the
// script, in a window the user carries on; --cameras (or WATERLINE_CAMERAS) tells
// how many cameras the camera check finds.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

struct LaunchOptions {
    bool offscreen = false;
    bool help = false;
    std::optional<std::filesystem::path> photos;
    std::optional<std::filesystem::path> configDirectory;
    std::optional<std::filesystem::path> script;
    std::optional<int> cameras;
    // Problems that do not stop the run, for standard error.
    std::vector<std::string> warnings;
};

// `arguments` excludes the program name. `camerasVariable` is WATERLINE_CAMERAS, if set;
// --cameras takes precedence over it, so a bad variable beside --cameras is only a
// warning. A bad command line is an error (AppErrorCode::BadCommandLine) saying what is
// wrong with it.
ErrorOr<LaunchOptions> parseLaunchOptions(const std::vector<std::string>& arguments,
                                          const char* camerasVariable = nullptr);

std::string launchUsage(const std::string& programName);

} // namespace waterline

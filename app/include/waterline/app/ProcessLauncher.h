// Starting helper programs (xdg-open, xdg-email, xdg-mime) without a shell: the
// arguments go to the program as they are, so no text of ours is ever interpreted.
// Nothing here may be called where waiting would stall the screen, except launch(),
// which returns at once and leaves the reaping of the child to a detached thread.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <optional>
#include <string>
#include <vector>

namespace waterline {

class ProcessLauncher {
public:
    // Starts the program (looked up in PATH) and returns without waiting for it; an
    // error (AppErrorCode::LaunchFailed) when it could not be started.
    static ErrorOr<void> launch(const std::vector<std::string>& argv);

    // Runs the program to its end and returns what it wrote to standard output, or none
    // when it could not be started or did not exit with status 0. Blocks: call it off
    // the main thread.
    static std::optional<std::string> capture(const std::vector<std::string>& argv);

    // True when PATH holds an executable of that name.
    static bool isInPath(const std::string& program);
};

} // namespace waterline

// Starting other programs for the tests: posix_spawn with an argument vector, never a
// shell, so no argument is ever re-parsed. A long-running server keeps its PID and is
// stopped with stopProcess(); a short command (openssl, curl) runs to its end with
// runCommand(), which gives back its exit status and everything it printed.
//
//     auto pid = WL_TRY(spawnProcess({"/usr/sbin/nginx", "-c", conf}, {.outputPath = folder / "server.log"}));
//     stopProcess(pid, {.grace = 5s});
//     auto result = WL_TRY(runCommand({"openssl", "version"}));
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace waterline::testing {

struct SpawnOptions {
    // Standard output and standard error both go to this file (created or appended
    // to); empty: to /dev/null.
    std::filesystem::path outputPath{};
    // Standard input comes from this file; empty: from /dev/null.
    std::filesystem::path inputPath{};
    // Changes to the environment the child inherits: "NAME=value" sets NAME, a bare
    // "NAME" removes it.
    std::vector<std::string> environment{};
};

// Starts argv[0] (a path, or a name looked up in PATH) with the given arguments.
// Fails when the program cannot be started at all (missing, not executable).
ErrorOr<pid_t> spawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options = {});

// How a finished process ended.
struct ProcessExit {
    std::optional<int> exitCode; // set when it exited normally
    std::optional<int> signal;   // set when a signal ended it

    bool succeeded() const { return exitCode == 0; }
    // "exited with status 1", "was killed by signal 9"
    std::string description() const;
};

// The exit of `pid` if it has ended (and is reaped by this call), none while it runs.
std::optional<ProcessExit> pollProcess(pid_t pid);

struct StopOptions {
    // How long SIGTERM is given before SIGKILL follows.
    std::chrono::milliseconds grace{5000};
};

// Sends SIGTERM, waits up to `grace` for the process to end, then SIGKILL, and reaps
// it. Safe to call for a process that has already ended but was not reaped.
ProcessExit stopProcess(pid_t pid, const StopOptions& options = {});

struct CommandResult {
    ProcessExit exit;
    std::string output; // standard output and standard error, interleaved as written
};

struct RunOptions {
    // A command still running after this is killed and reported as an error.
    std::chrono::milliseconds timeout{30000};
    // As SpawnOptions::environment.
    std::vector<std::string> environment{};
};

// Runs a command to its end. An exit status other than 0 is not an error here: the
// caller reads `exit`. Errors are: the program cannot be started, or it overran the
// time-out (the error then carries the output so far).
ErrorOr<CommandResult> runCommand(const std::vector<std::string>& argv, const RunOptions& options = {});

// The whole of a text file ("" when it cannot be read), for logs a test inspects.
std::string fileText(const std::filesystem::path& path);

// Waits until the file holds `text` (servers write their logs after the response has
// gone); false when it does not within `timeout`.
bool waitForFileText(const std::filesystem::path& path, std::string_view text, std::chrono::milliseconds timeout);

// The last `lines` lines of a text file ("" when it cannot be read), for error messages.
std::string fileTail(const std::filesystem::path& path, std::size_t lines = 20);

} // namespace waterline::testing

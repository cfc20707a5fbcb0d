// Running the built wl-fetch for the end-to-end tests: its exit status and what it
// wrote (standard output and error together).
#pragma once

#include <waterline/testing/Subprocess.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace waterline::test {

inline const std::string kWlFetchTool = std::string(WATERLINE_BINARY_DIR) + "/bin/wl-fetch";

struct Fetched {
    int exitCode = -1;
    std::string output;
};

// Runs wl-fetch with `arguments`; fails the test when it cannot be run at all.
inline Fetched fetch(std::vector<std::string> arguments)
{
    using namespace std::chrono_literals;
    arguments.insert(arguments.begin(), kWlFetchTool);
    auto result = testing::runCommand(arguments, {.timeout = 30s});
    if (!result) {
        ADD_FAILURE() << "cannot run " << kWlFetchTool << ": " << result.error()->debugDescription();
        return {};
    }
    return {result->exit.exitCode.value_or(-1), result->output};
}

} // namespace waterline::test

// The harness tests check the servers with the curl command, not with our own client:
// a fault in the client must not hide, or fake, a fault in its test servers.
#pragma once

#include <waterline/testing/Subprocess.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace waterline::testing {

// curl's output (headers with -i, then the body) for the given arguments; a failure
// to run or a non-zero exit fails the calling test.
inline std::string curlOutput(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"curl", "--silent", "--show-error", "--max-time", "20"});
    auto result = runCommand(arguments);
    if (!result) {
        ADD_FAILURE() << result.error()->debugDescription();
        return {};
    }
    EXPECT_TRUE(result->exit.succeeded()) << "curl " << result->exit.description() << ": " << result->output;
    return result->output;
}

// The body alone of a GET.
inline std::string curlBody(const std::string& url, std::vector<std::string> extra = {})
{
    extra.push_back(url);
    return curlOutput(std::move(extra));
}

} // namespace waterline::testing

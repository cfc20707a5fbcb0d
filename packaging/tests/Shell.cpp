#include "Shell.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace waterline::packagingtest {

std::string quoted(const std::filesystem::path& path)
{
    std::string result = "'";
    result += path.string();
    result += "'";
    return result;
}

CommandResult runShell(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        result.output = "cannot start: " + command;
        return result;
    }
    std::array<char, 4096> chunk;
    while (std::size_t count = std::fread(chunk.data(), 1, chunk.size(), pipe))
        result.output.append(chunk.data(), count);
    int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

CommandResult installComponent(const std::filesystem::path& destdir, const std::string& prefix,
                               const std::string& component)
{
    return runShell("DESTDIR='" + destdir.string()
                    + "' '" WATERLINE_CMAKE_COMMAND "' --install '" WATERLINE_BINARY_DIR "' --prefix '" + prefix
                    + "' --component " + component);
}

} // namespace waterline::packagingtest

#include <waterline/Version.h>
#include <waterline/foundation/ProgramInfo.h>

#include <cstdio>
#include <string>
#include <system_error>

namespace waterline {

std::optional<std::filesystem::path> executablePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty())
        return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> installedDataDirectory(std::string_view name)
{
    auto executable = executablePath();
    if (!executable)
        return std::nullopt;
    auto folder = executable->parent_path().parent_path() / "share" / std::filesystem::path(name);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return std::nullopt;
    return folder;
}

bool answerVersionOption(std::string_view program, int argc, char** argv)
{
    if (argc != 2 || std::string_view(argv[1]) != "--version")
        return false;
    std::printf("%.*s %s\n", static_cast<int>(program.size()), program.data(), WATERLINE_VERSION);
    return true;
}

} // namespace waterline

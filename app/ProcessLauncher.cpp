#include <waterline/app/ProcessLauncher.h>

#include <waterline/app/AppError.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace waterline {

namespace {

std::vector<char*> argumentPointers(const std::vector<std::string>& argv)
{
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const auto& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

int waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

} // namespace

ErrorOr<void> ProcessLauncher::launch(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return appError(AppErrorCode::LaunchFailed, "cannot start a program without a name");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper must not read our standard input.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    auto pointers = argumentPointers(argv);
    pid_t pid = 0;
    int result = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return appError(AppErrorCode::LaunchFailed, "cannot start " + argv[0] + ": " + errnoText(result),
                        Error::fromErrno(result));
    // Reap it whenever it ends, so it does not linger as a zombie.
    std::thread([pid] { waitForExit(pid); }).detach();
    return {};
}

std::optional<std::string> ProcessLauncher::capture(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return std::nullopt;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    auto pointers = argumentPointers(argv);
    pid_t pid = 0;
    int result = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (result != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }
    std::string output;
    char chunk[4096];
    for (;;) {
        ssize_t count = ::read(pipeFds[0], chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        output.append(chunk, static_cast<std::size_t>(count));
    }
    ::close(pipeFds[0]);
    int status = waitForExit(pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

bool ProcessLauncher::isInPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    if (!path || program.empty() || program.find('/') != std::string::npos)
        return false;
    std::stringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace waterline

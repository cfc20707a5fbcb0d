// posix_spawn, waitpid and a polling wait with a bound: a test must never hang on a
// child that does not end.
#include <waterline/testing/Subprocess.h>

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace waterline::testing {

namespace {

using namespace std::chrono_literals;

constexpr const char* kDomain = "SubprocessErrorDomain";
constexpr auto kPollInterval = 10ms;

ProcessExit exitFromStatus(int status)
{
    ProcessExit exit;
    if (WIFEXITED(status))
        exit.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        exit.signal = WTERMSIG(status);
    return exit;
}

// Waits (polling) until `pid` ends or `limit` passes.
std::optional<ProcessExit> waitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        if (auto exit = pollProcess(pid))
            return exit;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// The child starts clean: no inherited descriptors beyond the standard three (a test's
// client sockets held open by a server would hide closed connections), default signal
// dispositions and no blocked signals (a thread that blocks SIGTERM must not make its
// servers deaf to it).
class SpawnAttributes {
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&m_attributes);
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

class SpawnFileActions {
public:
    SpawnFileActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

std::string variableName(const std::string& entry)
{
    return entry.substr(0, entry.find('='));
}

// The inherited environment with `changes` applied.
std::vector<std::string> childEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        bool changed = std::any_of(changes.begin(), changes.end(), [&](const std::string& change) {
            return variableName(change) == variableName(text);
        });
        if (!changed)
            result.push_back(std::move(text));
    }
    for (const auto& change : changes) {
        if (change.find('=') != std::string::npos)
            result.push_back(change);
    }
    return result;
}

std::vector<char*> pointersTo(const std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (const auto& text : strings)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::string ProcessExit::description() const
{
    if (exitCode)
        return "exited with status " + std::to_string(*exitCode);
    if (signal)
        return "was killed by signal " + std::to_string(*signal);
    return "ended in an unknown way";
}

ErrorOr<pid_t> spawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options)
{
    if (argv.empty())
        throw std::invalid_argument("spawnProcess needs at least the program");
    auto arguments = pointersTo(argv);
    auto environment = childEnvironment(options.environment);
    auto environmentPointers = pointersTo(environment);

    std::string output = options.outputPath.empty() ? "/dev/null" : options.outputPath.string();
    std::string input = options.inputPath.empty() ? "/dev/null" : options.inputPath.string();
    SpawnFileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
    SpawnAttributes attributes;

    pid_t pid = 0;
    // posix_spawnp reports a missing program through its result (glibc uses vfork and
    // waits for the exec), so "not found" is an error here, not an exit status 127.
    int result = posix_spawnp(&pid, argv[0].c_str(), actions.get(), attributes.get(), arguments.data(),
                              environmentPointers.data());
    if (result != 0)
        return Error::create(kDomain, result, "Cannot start " + argv[0] + ": " + errnoText(result));
    return pid;
}

std::optional<ProcessExit> pollProcess(pid_t pid)
{
    int status = 0;
    pid_t result;
    do
        result = ::waitpid(pid, &status, WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == pid)
        return exitFromStatus(status);
    if (result < 0) // not our child (any more): nothing left to wait for
        return ProcessExit{};
    return std::nullopt;
}

ProcessExit stopProcess(pid_t pid, const StopOptions& options)
{
    if (auto exit = pollProcess(pid))
        return *exit;
    ::kill(pid, SIGTERM);
    if (auto exit = waitForExit(pid, options.grace))
        return *exit;
    ::kill(pid, SIGKILL);
    // SIGKILL cannot be ignored; the bound only guards against an unkillable (D state) child.
    if (auto exit = waitForExit(pid, 10s))
        return *exit;
    return ProcessExit{};
}

ErrorOr<CommandResult> runCommand(const std::vector<std::string>& argv, const RunOptions& options)
{
    std::filesystem::path outputPath = temporaryFilePath();
    auto removeOutput = [&] {
        std::error_code ignored;
        std::filesystem::remove(outputPath, ignored);
    };
    auto pid = spawnProcess(argv, {.outputPath = outputPath, .environment = options.environment});
    if (!pid) {
        removeOutput();
        return pid.releaseError();
    }
    auto exit = waitForExit(*pid, options.timeout);
    std::string text = fileText(outputPath);
    removeOutput();
    if (!exit) {
        stopProcess(*pid, {.grace = 1s});
        return Error::create(kDomain, ETIMEDOUT,
                             argv[0] + " did not finish within " + std::to_string(options.timeout.count())
                                 + " ms; its output: " + text);
    }
    return CommandResult{*exit, std::move(text)};
}

std::string fileText(const std::filesystem::path& path)
{
    auto bytes = readFile(path, {.maxBytes = 64 << 20});
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

bool waitForFileText(const std::filesystem::path& path, std::string_view text, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fileText(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::string fileTail(const std::filesystem::path& path, std::size_t lines)
{
    std::string text = fileText(path);
    // A final newline does not open a line of its own.
    std::size_t counted = text.ends_with('\n') ? text.size() - 1 : text.size();
    std::size_t start = 0;
    std::size_t newlines = 0;
    for (std::size_t i = counted; i > 0; --i) {
        if (text[i - 1] == '\n' && ++newlines == lines) {
            start = i;
            break;
        }
    }
    return text.substr(start);
}

} // namespace waterline::testing

#include <waterline/testing/ServerProcess.h>

#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/Subprocess.h>

#include <thread>

namespace waterline::testing {

namespace {

using namespace std::chrono_literals;

constexpr const char* kDomain = "ServerProcessErrorDomain";
enum ErrorCode { ExitedEarly = 1, NeverListened, PortTaken };

std::string logTails(const ServerLaunch& launch, const std::filesystem::path& folder)
{
    std::string text
        = "\n--- " + std::string(ServerProcess::kOutputName) + ":\n" + fileTail(folder / ServerProcess::kOutputName);
    for (const auto& name : launch.logNames)
        text += "\n--- " + name + ":\n" + fileTail(folder / name);
    return text;
}

void removeLogs(const ServerLaunch& launch, const std::filesystem::path& folder)
{
    std::error_code ignored;
    std::filesystem::remove(folder / ServerProcess::kOutputName, ignored);
    for (const auto& name : launch.logNames)
        std::filesystem::remove(folder / name, ignored);
}

bool mentionsPortInUse(const std::string& logs)
{
    return logs.find("Address already in use") != std::string::npos;
}

// Waits until `pid` listens on `port`; on failure the process has been stopped.
ErrorOr<void> waitUntilListening(const ServerLaunch& launch, const std::filesystem::path& folder, pid_t pid,
                                 std::uint16_t port)
{
    auto deadline = std::chrono::steady_clock::now() + launch.startTimeout;
    while (!processListensOn(pid, port)) {
        if (auto exit = pollProcess(pid)) {
            auto logs = logTails(launch, folder);
            return Error::create(kDomain, mentionsPortInUse(logs) ? PortTaken : ExitedEarly,
                                 launch.name + " " + exit->description() + " before listening on port "
                                     + std::to_string(port) + logs);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            stopProcess(pid, {.grace = launch.stopTimeout});
            auto logs = logTails(launch, folder);
            return Error::create(kDomain, mentionsPortInUse(logs) ? PortTaken : NeverListened,
                                 launch.name + " did not listen on port " + std::to_string(port) + " within "
                                     + std::to_string(launch.startTimeout.count()) + " ms" + logs);
        }
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

} // namespace

ErrorOr<std::unique_ptr<ServerProcess>> ServerProcess::start(ServerLaunch launch)
{
    auto folder = WL_TRY(TemporaryFolder::create());
    ErrorPtr lastError;
    for (int attempt = 0; attempt < launch.attempts; ++attempt) {
        auto port = WL_TRY(pickFreeLoopbackPort());
        auto argv = WL_TRY(launch.prepare(folder.path(), port));
        removeLogs(launch, folder.path()); // a retry's error shows only its own attempt
        auto pid = WL_TRY(spawnProcess(argv, {.outputPath = folder / kOutputName}));
        auto listening = waitUntilListening(launch, folder.path(), pid, port);
        if (listening)
            return std::unique_ptr<ServerProcess>(new ServerProcess(std::move(launch), std::move(folder), pid, port));
        lastError = listening.releaseError();
        if (launch.afterStop)
            launch.afterStop();
        if (lastError->code() != PortTaken)
            break;
    }
    return lastError;
}

ServerProcess::ServerProcess(ServerLaunch launch, TemporaryFolder folder, pid_t pid, std::uint16_t port)
    : m_launch(std::move(launch))
    , m_folder(std::move(folder))
    , m_pid(pid)
    , m_port(port)
{
    // `prepare` may refer to its caller's locals, which are gone once start() returns.
    m_launch.prepare = nullptr;
}

ServerProcess::~ServerProcess()
{
    stop();
}

void ServerProcess::stop()
{
    if (m_pid <= 0)
        return;
    stopProcess(m_pid, {.grace = m_launch.stopTimeout});
    m_pid = 0;
    if (m_launch.afterStop)
        m_launch.afterStop();
}

} // namespace waterline::testing

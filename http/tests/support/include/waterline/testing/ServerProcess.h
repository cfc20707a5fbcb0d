// One server program (nginx, squid) run by a test: started on a free loopback port
// with its configuration, pid file and logs in a temporary folder of its own, and
// stopped by PID — SIGTERM, then SIGKILL after a bound — when the owner goes, which
// also removes the folder. A server is ready when it listens on its port; a start
// that fails says why: the program is missing, it exited (the configuration was
// rejected), or it never listened, each time with the tail of its log.
//
//     auto server = WL_TRY(ServerProcess::start({
//         .name = "nginx",
//         .prepare = [](const std::filesystem::path& folder, std::uint16_t port) -> ErrorOr<std::vector<std::string>> {
//             WL_TRY(writeFileAtomically(folder / "nginx.conf", configFor(port)));
//             return std::vector<std::string>{"/usr/sbin/nginx", "-c", (folder / "nginx.conf").string()};
//         }}));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/TemporaryFolder.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace waterline::testing {

struct ServerLaunch {
    // The program's name in messages ("nginx").
    std::string name;
    // Writes the configuration for `port` into `folder` and returns the command line
    // (argv[0] first). Called again with a new port when a start lost its port.
    std::function<ErrorOr<std::vector<std::string>>(const std::filesystem::path& folder, std::uint16_t port)> prepare;
    // Logs the server writes itself, relative to its folder; their tails go into start
    // errors beside that of its standard output and error ("server.log").
    std::vector<std::string> logNames{};
    // Runs after the process has ended, before the folder is removed.
    std::function<void()> afterStop{};
    std::chrono::milliseconds startTimeout{10000};
    std::chrono::milliseconds stopTimeout{5000};
    // Starts tried, each on a new port, while the port turns out to be taken.
    int attempts = 3;
};

class ServerProcess {
public:
    static ErrorOr<std::unique_ptr<ServerProcess>> start(ServerLaunch launch);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::uint16_t port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    const std::filesystem::path& folder() const { return m_folder.path(); }
    // Standard output and standard error of the server.
    std::filesystem::path outputPath() const { return folder() / kOutputName; }

    // Stops the server now (idempotent); the folder stays until the object goes.
    void stop();
    bool isRunning() const { return m_pid > 0; }

    static constexpr const char* kOutputName = "server.log";

private:
    ServerProcess(ServerLaunch launch, TemporaryFolder folder, pid_t pid, std::uint16_t port);

    ServerLaunch m_launch;
    TemporaryFolder m_folder;
    pid_t m_pid;
    std::uint16_t m_port;
};

} // namespace waterline::testing

// A network namespace of the test's own, made with iproute2 and always deleted again,
// in which tests build veth links, addresses and routes and read the kernel's view
// from a thread that has entered it. Names carry the process id and a counter, so
// parallel test processes never collide.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace waterline::testing {

class NetworkNamespace {
public:
    NetworkNamespace()
    {
        static std::atomic<int> counter{0};
        m_name = "wlreach-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        m_created = ::geteuid() == 0 && runCommand({"ip", "netns", "add", m_name});
    }
    ~NetworkNamespace()
    {
        if (m_created)
            runCommand({"ip", "netns", "delete", m_name});
    }
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    bool created() const { return m_created; }
    const std::string& name() const { return m_name; }

    // Runs `ip -n <name> <arguments>`; true when it succeeded.
    bool ip(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {"ip", "-n", m_name});
        return runCommand(arguments);
    }

    // Runs `work` on a thread that has entered the namespace; false when entering failed.
    bool runInside(const std::function<void()>& work) const
    {
        bool entered = false;
        std::thread([&] {
            int fd = ::open(("/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            entered = ::setns(fd, CLONE_NEWNET) == 0; // this thread only
            ::close(fd);
            if (entered)
                work();
        }).join();
        return entered;
    }

    // A veth pair with both ends up and the first end addressed, e.g. ("v0", "v1", "10.20.0.1/24").
    bool addVeth(const std::string& end, const std::string& peer, const std::string& addressWithPrefix) const
    {
        return ip({"link", "add", end, "type", "veth", "peer", "name", peer})
            && ip({"address", "add", addressWithPrefix, "dev", end}) && ip({"link", "set", end, "up"})
            && ip({"link", "set", peer, "up"});
    }

    static bool runCommand(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return false;
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    std::string m_name;
    bool m_created = false;
};

} // namespace waterline::testing

// Skips the test with the reason when the machine will not give us a namespace.
#define WATERLINE_REQUIRE_NAMESPACE(ns)                                                                                \
    do {                                                                                                               \
        if (!(ns).created())                                                                                           \
            GTEST_SKIP() << "needs root and `ip netns add` (network namespaces) to test kernel flags";                 \
    } while (0)

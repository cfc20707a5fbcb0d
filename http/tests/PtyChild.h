// A child process on a pseudo-terminal of its own (its controlling terminal), for the
// tests of what programs show and ask on a terminal.
#pragma once

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace waterline::test {

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class PtyChild {
public:
    explicit PtyChild(std::vector<std::string> argv)
    {
        m_pid = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            std::vector<char*> arguments;
            for (auto& argument : argv)
                arguments.push_back(argument.data());
            arguments.push_back(nullptr);
            ::execv(arguments[0], arguments.data());
            ::_exit(127);
        }
    }
    ~PtyChild()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    bool started() const { return m_pid > 0; }
    const std::string& output() const { return m_output; }

    // Reads what the child writes until `text` has appeared (or `limit` passed).
    bool waitFor(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return eventually(
            [&] {
                readAvailable();
                return m_output.find(text) != std::string::npos;
            },
            limit);
    }
    void type(const std::string& keys) { ASSERT_EQ(::write(m_master, keys.data(), keys.size()), ssize_t(keys.size())); }
    bool echoIsOn() const
    {
        termios settings{};
        return ::tcgetattr(m_master, &settings) == 0 && (settings.c_lflag & ECHO);
    }
    // The wait status once the child ended (within 10 s), else none.
    std::optional<int> exitStatus()
    {
        eventually([&] {
            readAvailable();
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            return m_status.has_value();
        });
        return m_status;
    }

private:
    void readAvailable()
    {
        pollfd wait{m_master, POLLIN, 0};
        while (::poll(&wait, 1, 0) > 0 && (wait.revents & POLLIN)) {
            std::array<char, 512> buffer{};
            auto count = ::read(m_master, buffer.data(), buffer.size());
            if (count <= 0)
                return;
            m_output.append(buffer.data(), static_cast<std::size_t>(count));
        }
    }

    int m_master = -1;
    pid_t m_pid = -1;
    std::string m_output;
    std::optional<int> m_status;
};

} // namespace waterline::test

// wl-reach run as a user runs it: in a network namespace with a veth link and a
// default route, its lines checked word for word, and with --watch a line per change.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "NetworkNamespace.h"

namespace {

using waterline::testing::NetworkNamespace;

// A running wl-reach with its standard output (and error) on a pipe.
struct Run {
    pid_t pid = -1;
    int output = -1;

    // `outputFile`: where standard output goes instead of the pipe, which then carries
    // standard error alone.
    static Run start(std::vector<std::string> arguments, const char* outputFile = nullptr)
    {
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
            return {};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outputFile)
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile, O_WRONLY, 0);
        else
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
        Run run;
        if (::posix_spawnp(&run.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            run.pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        run.output = pipeEnds[0];
        return run;
    }

    // Reads until `lines` complete lines have come or the output ends.
    std::string readLines(int lines)
    {
        std::string text;
        char c;
        while (lines > 0 && ::read(output, &c, 1) == 1) {
            text += c;
            if (c == '\n')
                --lines;
        }
        return text;
    }

    // Reads the rest and waits for the exit status.
    int finish(std::string& rest)
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(output, buffer, sizeof buffer)) > 0)
            rest.append(buffer, static_cast<std::size_t>(n));
        ::close(output);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

struct WlReachTest : ::testing::Test {
    NetworkNamespace ns;

    void SetUp() override
    {
        WATERLINE_REQUIRE_NAMESPACE(ns);
        if (!ns.addVeth("v0", "v1", "10.20.0.1/24"))
            GTEST_SKIP() << "the kernel refused to make a veth pair in the test namespace";
        ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2"}));
    }

    std::vector<std::string> command(std::vector<std::string> arguments) const
    {
        std::vector<std::string> all{"ip", "netns", "exec", ns.name(), WL_REACH_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
};

TEST_F(WlReachTest, PrintsTheThreeStatusesWithTheirFlags)
{
    auto run = Run::start(command({"--address", "10.20.0.2"}));
    std::string output;
    EXPECT_EQ(run.finish(output), 0);
    EXPECT_EQ(output,
              "internet: NetStatusViaWiFi flags=R\n"
              "local WiFi: NetStatusUnreachable flags=R\n"
              "remote host 10.20.0.2: NetStatusViaWiFi flags=R+D\n");
}

// 012 is octal, as inet_aton reads it: the line names the address looked up.
TEST_F(WlReachTest, AnAddressInAnotherFormShowsTheAddressLookedUp)
{
    auto run = Run::start(command({"--address", "012.20.0.2"}));
    std::string output;
    EXPECT_EQ(run.finish(output), 0);
    EXPECT_NE(output.find("\nremote host 10.20.0.2 (012.20.0.2): NetStatusViaWiFi flags=R+D\n"), std::string::npos)
        << output;
}

TEST_F(WlReachTest, WatchPrintsALinePerChange)
{
    auto run = Run::start(command({"--watch", "2"}));
    std::string first = run.readLines(2);
    EXPECT_EQ(first, "internet: NetStatusViaWiFi flags=R\nlocal WiFi: NetStatusUnreachable flags=R\n");
    ASSERT_TRUE(ns.ip({"link", "set", "v0", "down"}));
    std::string rest;
    EXPECT_EQ(run.finish(rest), 0);
    // e.g. "2026-12-08T02:17:23.153Z  internet: NetStatusUnreachable flags=none  local WiFi: ..."
    EXPECT_NE(rest.find("Z  internet: NetStatusUnreachable flags=none  local WiFi: NetStatusUnreachable flags=none\n"),
              std::string::npos)
        << rest;
}

TEST(WlReachUsage, MistakesExitWithTwo)
{
    const std::vector<std::vector<std::string>> mistakes = {
        {"--bogus"},
        {"--host"},
        {"--host", "a", "--address", "10.0.0.1"},
        {"--address", "abc"},
        {"--watch", "soon"},
        {"--watch", "-1"},
        {"--host", ""},
        {"--watch", "0x10"},
        {"--watch", ""},
        {"--watch", "1e3"},
        {"--watch", "inf"},
        {"--watch", "+5"},
        {"--watch", "5."},
        {"--watch", "99999999999999999999"},
    };
    for (auto arguments : mistakes) {
        arguments.insert(arguments.begin(), WL_REACH_PATH);
        auto run = Run::start(arguments);
        std::string output;
        EXPECT_EQ(run.finish(output), 2) << arguments[1] << " " << arguments.back();
        EXPECT_NE(output.find("usage: wl-reach [--host NAME | --address A.B.C.D] [--watch SECONDS]"),
                  std::string::npos);
    }
}

TEST(WlReachUsage, WatchTakesPlainDecimalSeconds)
{
    for (const char* seconds : {"0", "0.05"}) {
        auto run = Run::start({WL_REACH_PATH, "--watch", seconds});
        std::string output;
        EXPECT_EQ(run.finish(output), 0) << seconds << ": " << output;
    }
}

// A full disk behind standard output is a failure with a message, not a quiet success.
TEST(WlReachOutput, FailedWritesExitWithOne)
{
    for (std::vector<std::string> arguments : {std::vector<std::string>{}, {"--help"}, {"--watch", "1"}}) {
        arguments.insert(arguments.begin(), WL_REACH_PATH);
        auto run = Run::start(arguments, "/dev/full");
        std::string errors;
        EXPECT_EQ(run.finish(errors), 1) << arguments.back();
        EXPECT_EQ(errors, "wl-reach: cannot write standard output: No space left on device\n");
    }
}

} // namespace

#include <waterline/testing/ServerProcess.h>
#include <waterline/testing/Subprocess.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace waterline;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

// What the descriptors of `pid` refer to ("pipe:[1234]", "/dev/null", …).
std::vector<std::string> descriptorTargets(pid_t pid)
{
    std::vector<std::string> targets;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        std::error_code gone; // the dynamic loader opens and closes files as the program starts
        targets.push_back(std::filesystem::read_symlink(entry.path(), gone).string());
    }
    return targets;
}

TEST(ServerHarnessProcess, ChildrenStartWithoutOurDescriptorsOrBlockedSignals)
{
    int leaky[2];
    ASSERT_EQ(::pipe(leaky), 0); // no O_CLOEXEC, as a library's socket might be
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigset_t previous;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &terminate, &previous), 0);

    auto pid = spawnProcess({"sleep", "30"});
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    auto leakyPipe = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(leaky[0])).string();
    ASSERT_FALSE(pid.isError()) << pid.error()->debugDescription();
    EXPECT_THAT(descriptorTargets(*pid), ::testing::Not(::testing::Contains(leakyPipe)));
    ::close(leaky[0]);
    ::close(leaky[1]);
    auto exit = stopProcess(*pid, {.grace = 10s});
    EXPECT_EQ(exit.signal, SIGTERM) << exit.description();
}

TEST(ServerHarnessProcess, CommandsAndServersThatOverrunTheirBoundAreStopped)
{
    auto command = runCommand({"sh", "-c", "echo started; exec sleep 30"}, {.timeout = 300ms});
    ASSERT_TRUE(command.isError());
    EXPECT_THAT(command.error()->localizedDescription(),
                HasSubstr("did not finish within 300 ms; its output: started"));

    std::filesystem::path folder;
    auto silent = ServerProcess::start(
        {.name = "silent",
         .prepare = [&](const std::filesystem::path& made, std::uint16_t) -> ErrorOr<std::vector<std::string>> {
             folder = made;
             return std::vector<std::string>{"sleep", "30"};
         },
         .startTimeout = 300ms});
    ASSERT_TRUE(silent.isError());
    EXPECT_THAT(silent.error()->localizedDescription(), HasSubstr("silent did not listen on port"));
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace

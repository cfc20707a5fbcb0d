// The persistent credential store in child processes (credential_store_probe), each on
// the session bus the test chose: none at all, a bus without a Secret Service, a socket
// that never answers, and a real Secret Service (gnome-keyring) on a private bus.
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/testing/SessionBus.h>
#include <waterline/testing/Subprocess.h>
#include <waterline/testing/TemporaryFolder.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace waterline::testing;
using ::testing::HasSubstr;

namespace {

const std::string kProbe = std::string(WATERLINE_BINARY_DIR) + "/bin/credential_store_probe";
const std::vector<std::string> kServer{"server", "example.org", "0", "https", "Vault"};
const std::vector<std::string> kProxy{"proxy", "proxy.example.org", "3128", "", ""};

std::vector<std::string> operation(const std::string& name, std::vector<std::string> before,
                                   const std::vector<std::string>& space)
{
    before.insert(before.begin(), name);
    before.insert(before.end(), space.begin(), space.end());
    return before;
}

// Everything the probe printed, standard error included; a probe that fails or does
// not end fails the test.
std::string probe(const std::vector<std::vector<std::string>>& operations, const std::vector<std::string>& environment)
{
    std::vector<std::string> argv{kProbe};
    for (const auto& each : operations)
        argv.insert(argv.end(), each.begin(), each.end());
    auto result = runCommand(argv, {.timeout = std::chrono::seconds(60), .environment = environment});
    if (!result) {
        ADD_FAILURE() << result.error()->debugDescription();
        return {};
    }
    EXPECT_TRUE(result->exit.succeeded()) << result->exit.description() << ": " << result->output;
    return result->output;
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Saves twice and looks up: the lookups find nothing and the two dropped saves give
// exactly one line, which names `reason`.
void expectStoreOff(const std::vector<std::string>& environment, const std::string& reason)
{
    auto output = probe({operation("save", {"alice", "one"}, kServer), operation("save", {"bob", "two"}, kProxy),
                         operation("lookup", {}, kServer), operation("lookup", {}, kProxy)},
                        environment);
    EXPECT_EQ(countOf(output, "waterline: credentials are not saved: "), 1u) << output;
    EXPECT_THAT(output, HasSubstr(reason));
    EXPECT_EQ(countOf(output, "none\n"), 2u) << output;
    EXPECT_EQ(output.find("found"), std::string::npos) << output;
}

TEST(PersistentCredentialStore, WithoutASessionBusTheStoreIsEmptyAndSavesAreDropped)
{
    auto runtime = TemporaryFolder::create(); // no "bus" socket in it
    ASSERT_FALSE(runtime.isError());
    expectStoreOff({"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR=" + runtime->path().string(), "DISPLAY"},
                   "no session bus");
    expectStoreOff({"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "DISPLAY"}, "connecting to the session bus");
}

TEST(PersistentCredentialStore, ABusWithoutASecretServiceLeavesTheStoreEmpty)
{
    auto bus = SessionBus::start();
    ASSERT_FALSE(bus.isError()) << bus.error()->debugDescription();
    expectStoreOff((*bus)->clientEnvironment(), "opening the Secret Service");
}

// A bus socket that accepts connections but never speaks: every call must give up
// after its time limit instead of holding the request's thread for ever.
TEST(PersistentCredentialStore, ABusThatNeverAnswersDoesNotHoldTheCaller)
{
    auto folder = TemporaryFolder::create();
    ASSERT_FALSE(folder.isError());
    auto socketPath = folder->path() / "silent-bus";
    int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    expectStoreOff({"DBUS_SESSION_BUS_ADDRESS=unix:path=" + socketPath.string(), "DISPLAY"}, "no answer within");
    ::close(silent);
}

TEST(PersistentCredentialStore, SecretServiceKeepsOneDefaultCredentialPerSpaceAcrossRuns)
{
    auto bus = SessionBus::start();
    ASSERT_FALSE(bus.isError()) << bus.error()->debugDescription();
    if (auto started = (*bus)->startSecretService(); !started)
        GTEST_SKIP() << "No Secret Service to test against: " << started.error()->localizedDescription();
    auto environment = (*bus)->clientEnvironment();

    EXPECT_EQ(probe({operation("save", {"alice", "pass wörd"}, kServer), operation("save", {"pat", "gate"}, kProxy),
                     operation("lookup", {}, kServer)},
                    environment),
              "saved\nsaved\nfound alice pass wörd\n");

    // A later run finds them; a space that differs in any part finds nothing.
    EXPECT_EQ(probe({operation("lookup", {}, kServer), operation("lookup", {}, kProxy),
                     operation("lookup", {}, {"server", "example.org", "0", "https", "Other realm"}),
                     operation("lookup", {}, {"server", "example.org", "443", "https", "Vault"}),
                     operation("lookup", {}, {"server", "example.org", "0", "http", "Vault"}),
                     operation("lookup", {}, {"server", "example.net", "0", "https", "Vault"}),
                     operation("lookup", {}, {"server", "proxy.example.org", "3128", "", ""})},
                    environment),
              "found alice pass wörd\nfound pat gate\nnone\nnone\nnone\nnone\nnone\n");

    // Saving for a space replaces its default; removing it leaves the other spaces.
    EXPECT_EQ(probe({operation("save", {"bob", "second"}, kServer), operation("lookup", {}, kServer),
                     operation("remove", {}, kServer), operation("lookup", {}, kServer),
                     operation("remove", {}, kServer), operation("lookup", {}, kProxy)},
                    environment),
              "saved\nfound bob second\nremoved\nnone\nremoved\nfound pat gate\n");
}

} // namespace

// wl-fetch's credential options end to end: the built tool against nginx and squid.
// Its standard input is never a terminal here, so missing or rejected credentials
// must end the run at once with status 3 rather than wait for a prompt.
#include "PtyChild.h"
#include "RequestTestSupport.h"
#include "WlFetchRun.h"

#include <waterline/testing/NginxServer.h>
#include <waterline/testing/SquidProxy.h>
#include <waterline/testing/Subprocess.h>

#include <gmock/gmock.h>

using namespace waterline;
using namespace waterline::testing;
using waterline::test::fetch;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

const std::vector<UserAccount> kAccounts{{"alice", "wonder:land"}};

TEST(WlFetchAuthentication, ServerCredentialsFromTheCommandLine)
{
    START_OR_FAIL(nginx, NginxServer::start({.protectedAreas = {{.path = "/auth/", .accounts = kAccounts}}}));
    ASSERT_FALSE(nginx->writeFile("a.txt", "secret").isError());
    auto url = nginx->url("/auth/a.txt");

    auto right = fetch({url, "-u", "alice:wonder:land"}); // the password keeps its ':'
    EXPECT_EQ(right.exitCode, 0) << right.output;
    EXPECT_EQ(right.output, "secret");

    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {url, "-u", "alice:wrong"}, {url, "-u", "alice"}, {url}, {url, "-u", "alice", "--no-prompt"}}) {
        auto refused = fetch(arguments);
        EXPECT_EQ(refused.exitCode, 3) << ::testing::PrintToString(arguments);
        EXPECT_THAT(refused.output, HasSubstr("wl-fetch: Authentication needed"));
    }

    // Each run is a process of its own: --no-session only keeps the run from storing.
    auto noSession = fetch({url, "-u", "alice:wonder:land", "--no-session"});
    EXPECT_EQ(noSession.exitCode, 0) << noSession.output;
}

TEST(WlFetchAuthentication, ProxyCredentialsFromTheCommandLine)
{
    START_OR_FAIL(proxy, SquidProxy::start({.authentication = ProxyAuthentication{.accounts = kAccounts}}));
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("a.txt", "through").isError());
    auto proxyAddress = "127.0.0.1:" + std::to_string(proxy->port());

    auto right = fetch({nginx->url("/a.txt"), "--proxy", proxyAddress, "--proxy-user", "alice:wonder:land"});
    EXPECT_EQ(right.exitCode, 0) << right.output;
    EXPECT_EQ(right.output, "through");

    auto missing = fetch({nginx->url("/a.txt"), "--proxy", proxyAddress});
    EXPECT_EQ(missing.exitCode, 3) << missing.output;
    EXPECT_THAT(missing.output, HasSubstr("wl-fetch: Authentication needed"));
}

// On a terminal the password is asked for, and the progress bars keep off the
// terminal while the prompt is up; the body comes after their final picture.
TEST(WlFetchAuthentication, PromptsOnTheTerminalWithoutTheBarsWritingOverIt)
{
    START_OR_FAIL(nginx, NginxServer::start({.protectedAreas = {{.path = "/auth/", .accounts = kAccounts}}}));
    ASSERT_FALSE(nginx->writeFile("a.txt", "secret").isError());
    test::PtyChild child({test::kWlFetchTool, nginx->url("/auth/a.txt"), "-u", "alice", "--progress"});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor("User: ")) << child.output();
    child.type("alice\n");
    ASSERT_TRUE(child.waitFor("Password: ")) << child.output();

    // The bars redraw five times a second when they may.
    auto shown = child.output().size();
    EXPECT_FALSE(child.waitFor("never written", 600ms));
    EXPECT_EQ(child.output().size(), shown) << child.output().substr(shown);

    child.type("wonder:land\n");
    auto status = child.exitStatus();
    ASSERT_TRUE(status && WIFEXITED(*status)) << child.output();
    EXPECT_EQ(WEXITSTATUS(*status), 0) << child.output();
    auto afterPrompt = child.output().substr(shown);
    auto finalPicture = afterPrompt.rfind("total 1/1");
    ASSERT_NE(finalPicture, std::string::npos) << afterPrompt;
    EXPECT_THAT(afterPrompt.substr(finalPicture), HasSubstr("done\r\nsecret")) << afterPrompt;
}

} // namespace

// wl-fetch with several URLs in one request queue: where the bodies go, the refused
// output names, cancel-all and --keep-going with the first failure's exit status,
// and the progress bars. The built tool runs against real servers on loopback.
#include "RequestTestSupport.h"

#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>
#include <waterline/testing/Subprocess.h>
#include <waterline/testing/TemporaryFolder.h>

#include <gmock/gmock.h>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Run {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

Run wlFetch(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), std::string(WATERLINE_BINARY_DIR) + "/bin/wl-fetch");
    auto result = runCommand(arguments, {.timeout = 30s});
    if (!result) {
        ADD_FAILURE() << "cannot run wl-fetch: " << result.error()->debugDescription();
        return {};
    }
    return {result->exit.exitCode.value_or(-1), result->output};
}

// Three files of different sizes, so that they finish in no fixed order.
struct ThreeFiles {
    std::vector<std::string> names{"one.txt", "two.txt", "three.txt"};
    std::vector<std::string> contents{std::string(300000, '1'), "two\n", std::string(40000, '3')};

    // Writes them to nginx's root; their URLs, or none when a file cannot be written.
    std::vector<std::string> serveFrom(const NginxServer& nginx) const
    {
        std::vector<std::string> urls;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (nginx.writeFile(names[i], contents[i]).isError())
                return {};
            urls.push_back(nginx.url("/" + names[i]));
        }
        return urls;
    }
};

TEST(WlFetchBatch, ThreeURLsGoToAFolderToFilesInOrderOrToStandardOutputInOrder)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    ThreeFiles files;
    auto urls = files.serveFrom(*nginx);
    ASSERT_EQ(urls.size(), 3u);

    auto intoFolder = wlFetch({urls[0], urls[1], urls[2], "--output-dir", folder.path().string()});
    EXPECT_EQ(intoFolder.exitCode, 0) << intoFolder.output;
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(fileText(folder.path() / files.names[i]) == files.contents[i]) << files.names[i];

    auto a = (folder.path() / "a").string();
    auto b = (folder.path() / "b").string();
    auto paired = wlFetch({urls[0], urls[1], urls[2], "-o", a, "-o", b});
    EXPECT_EQ(paired.exitCode, 0);
    EXPECT_TRUE(fileText(a) == files.contents[0]);
    EXPECT_TRUE(fileText(b) == files.contents[1]);
    EXPECT_TRUE(paired.output == files.contents[2]); // the URL without -o

    auto toStdout = wlFetch({urls[0], urls[1], urls[2]});
    EXPECT_EQ(toStdout.exitCode, 0);
    EXPECT_TRUE(toStdout.output == files.contents[0] + files.contents[1] + files.contents[2]);

    EXPECT_EQ(wlFetch({urls[0], "-o", a, "-o", b}).exitCode, 64);
    EXPECT_EQ(wlFetch({urls[0], urls[1], "-o", a, "--output-dir", folder.path().string()}).exitCode, 64);
    EXPECT_EQ(wlFetch({urls[0], urls[1], "-o", a, "--resume"}).exitCode, 64);
}

TEST(WlFetchBatch, OutputNamesThatAreNoPlainFileInTheFolderAreRefusedBeforeFetching)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    ASSERT_FALSE(nginx->writeFile("fine.txt", "fine").isError());
    auto dir = folder.path() / "out";
    std::filesystem::create_directory(dir);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"/folder/", "its path ends without a file name"},
        {"", "its path ends without a file name"},
        {"/%2e%2e", "'..' is not a file name"},
        {"/x/.", "'.' is not a file name"},
        {"/..%2F..%2Fescaped", "its file name would leave the output folder"},
        {"/fine.txt?again", "another URL gives the same name, 'fine.txt'"},
    };
    for (const auto& [path, reason] : refused) {
        auto run = wlFetch({nginx->url("/fine.txt"), nginx->url(path), "--output-dir", dir.string()});
        EXPECT_EQ(run.exitCode, 64) << path;
        EXPECT_THAT(run.output, HasSubstr("wl-fetch: cannot name a file after " + nginx->url(path) + ": " + reason));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_FALSE(nginx->waitForAccessLog("GET", 200ms));

    auto missing = wlFetch({nginx->url("/fine.txt"), "--output-dir", (folder.path() / "absent").string()});
    EXPECT_EQ(missing.exitCode, 64);
    EXPECT_THAT(missing.output, HasSubstr("is not a folder"));
}

TEST(WlFetchBatch, TheFirstFailureCancelsTheRestUnlessToldToKeepGoing)
{
    START_OR_FAIL(server, ScriptedServer::start());
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    ASSERT_FALSE(nginx->writeFile("good.txt", "good").isError());
    server->setResponder([](const RecordedRequest& request) {
        if (request.target == "/broken")
            return ScriptedReply::raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        return ScriptedReply::hang();
    });

    // The hanging URLs would time out only after 10 s: cancelled, they end at once.
    auto cancelled = wlFetch({server->url("/hang-a"), server->url("/hang-b"), server->url("/broken")});
    EXPECT_EQ(cancelled.exitCode, 1) << cancelled.output;
    EXPECT_THAT(cancelled.output, HasSubstr(server->url("/broken") + ": A connection failure occurred"));
    EXPECT_THAT(cancelled.output, HasSubstr(server->url("/hang-a") + ": The request was cancelled"));
    EXPECT_THAT(cancelled.output, HasSubstr(server->url("/hang-b") + ": The request was cancelled"));

    auto kept = wlFetch(
        {server->url("/broken"), nginx->url("/good.txt"), "--keep-going", "--output-dir", folder.path().string()});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(fileText(folder.path() / "good.txt"), "good");
    EXPECT_THAT(kept.output, Not(HasSubstr("cancelled")));

    auto missing = wlFetch({nginx->url("/good.txt"), nginx->url("/absent.txt"), "--fail", "--keep-going"});
    EXPECT_EQ(missing.exitCode, 22);
    EXPECT_THAT(missing.output, HasSubstr("good"));
}

TEST(WlFetchBatch, ProgressBarsOnlyWhenAskedOrOnATerminal)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    ThreeFiles files;
    auto arguments = files.serveFrom(*nginx);
    ASSERT_EQ(arguments.size(), 3u);
    arguments.insert(arguments.end(), {"--output-dir", folder.path().string()});

    auto quiet = wlFetch(arguments); // standard error is a pipe here
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.output, "");

    arguments.insert(arguments.end(), {"--progress", "--accurate-progress", "--limit-rate", "64M"});
    auto shown = wlFetch(arguments);
    EXPECT_EQ(shown.exitCode, 0) << shown.output;
    for (const auto& name : files.names)
        EXPECT_THAT(shown.output, HasSubstr(name));
    EXPECT_THAT(shown.output, HasSubstr("total 3/3"));
    EXPECT_THAT(shown.output, HasSubstr("[####################] 100%  293.0 KiB / 293.0 KiB"));
    EXPECT_THAT(shown.output, HasSubstr("done"));
    EXPECT_TRUE(nginx->waitForAccessLog("HEAD /one.txt"));

    arguments.push_back("--no-progress");
    EXPECT_EQ(wlFetch(arguments).output, "");
    EXPECT_EQ(wlFetch({nginx->url("/one.txt"), "--limit-rate", "12q"}).exitCode, 64);
    EXPECT_EQ(wlFetch({nginx->url("/one.txt"), "--limit-rate", "8589934592"}).exitCode, 64);
}

} // namespace

// The process-wide bandwidth limit against nginx on loopback: the rate one download,
// four downloads sharing the limit and an upload achieve; the carrier-only limit
// following reachability; waiting for bandwidth neither times a request out nor
// delays its cancel.
#include "RequestTestSupport.h"

#include <waterline/foundation/Error.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/http/BandwidthAccount.h>
#include <waterline/reachability/Reachability.h>
#include <waterline/reachability/TestFlagsProvider.h>
#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/NginxServer.h>

#include <sys/socket.h>

#include <atomic>
#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// nginx takes request bodies under /upload/ as files.
NginxOptions withUploads()
{
    return {.extraServerDirectives = "    location /upload/ { dav_methods PUT; create_full_put_path on; }\n"};
}

std::string bytesOf(std::size_t count)
{
    std::string text(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

std::shared_ptr<HTTPRequest> upload(const NginxServer& nginx, const std::string& name, std::size_t bytes)
{
    auto request = requestFor(nginx.url("/upload/" + name));
    request->setRequestMethod("PUT");
    request->appendPostData(bytesOf(bytes));
    return request;
}

// Runs the requests on the shared queue and answers the seconds until the last ended;
// `during` is called on the main thread while they run.
double secondsToRun(const std::vector<std::shared_ptr<HTTPRequest>>& requests,
                    const std::function<void(double elapsed)>& during = {})
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto began = Clock::now();
    for (const auto& request : requests) {
        request->setDelegate(delegate);
        request->startAsynchronous();
    }
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - began).count(); };
    bool ended = runMainUntil(
        [&] {
            if (during)
                during(elapsed());
            return delegate->finished + delegate->failed == static_cast<int>(requests.size());
        },
        60);
    EXPECT_TRUE(ended) << "the requests did not end";
    for (const auto& request : requests)
        EXPECT_EQ(request->error(), nullptr) << errorText(*request);
    return elapsed();
}

class HTTPRequestThrottling : public ::testing::Test {
protected:
    void TearDown() override
    {
        HTTPRequest::setShouldThrottleBandwidthForWWAN(false);
        HTTPRequest::setMaxBandwidthPerSecond(0);
    }
};

TEST_F(HTTPRequestThrottling, DownloadsHoldTheSharedLimitAloneAndFourAtOnce)
{
    START_OR_FAIL(nginx, NginxServer::start());
    constexpr std::uint32_t kLimit = 14800;
    ASSERT_FALSE(nginx->writeFile("one.bin", bytesOf(10 * kLimit)).isError());
    ASSERT_FALSE(nginx->writeFile("quarter.bin", bytesOf(10 * kLimit / 4)).isError());
    HTTPRequest::setMaxBandwidthPerSecond(kLimit);
    ASSERT_TRUE(HTTPRequest::isBandwidthThrottled());

    auto alone = requestFor(nginx->url("/one.bin"));
    std::optional<std::uint32_t> averageMidway;
    double seconds = secondsToRun({alone}, [&](double elapsed) {
        if (elapsed > 8 && !averageMidway)
            averageMidway = HTTPRequest::averageBandwidthUsedPerSecond();
    });
    ASSERT_EQ(alone->totalBytesRead(), 10u * kLimit);
    EXPECT_NEAR(10.0 * kLimit / seconds / kLimit, 1.0, 0.1) << "one download took " << seconds << " s";
    ASSERT_TRUE(averageMidway.has_value());
    EXPECT_NEAR(static_cast<double>(*averageMidway) / kLimit, 1.0, 0.15);

    std::vector<std::shared_ptr<HTTPRequest>> four;
    for (int i = 0; i < 4; ++i)
        four.push_back(requestFor(nginx->url("/quarter.bin")));
    seconds = secondsToRun(four);
    for (const auto& request : four)
        EXPECT_EQ(request->totalBytesRead(), 10u * kLimit / 4);
    EXPECT_NEAR(10.0 * kLimit / seconds / kLimit, 1.0, 0.1) << "four downloads took " << seconds << " s";
}

TEST_F(HTTPRequestThrottling, UploadHoldsTheLimit)
{
    START_OR_FAIL(nginx, NginxServer::start(withUploads()));
    constexpr std::uint32_t kLimit = 50000;
    HTTPRequest::setMaxBandwidthPerSecond(kLimit);
    auto request = upload(*nginx, "paced.bin", 3 * kLimit);
    double seconds = secondsToRun({request});
    EXPECT_EQ(request->responseStatusCode(), 201);
    EXPECT_EQ(request->totalBytesSent(), 3u * kLimit);
    EXPECT_NEAR(3.0 * kLimit / seconds / kLimit, 1.0, 0.1) << "the upload took " << seconds << " s";
    auto file = readFile(nginx->root() / "upload/paced.bin");
    ASSERT_FALSE(file.isError());
    EXPECT_EQ(std::string(file->begin(), file->end()), bytesOf(3 * kLimit));
}

TEST_F(HTTPRequestThrottling, CarrierOnlyLimitFollowsReachability)
{
    START_OR_FAIL(nginx, NginxServer::start(withUploads()));
    ASSERT_FALSE(nginx->writeFile("carrier.bin", bytesOf(3 * 14800)).isError());
    auto flags = std::make_shared<TestFlagsProvider>();
    flags->setFlags("0.0.0.0", ReachabilityFlag::Reachable | ReachabilityFlag::TransientConnection);
    Reachability::sharedReachability().setFlagsProvider(flags);

    HTTPRequest::setShouldThrottleBandwidthForWWAN(true);
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 14800u);
    ASSERT_TRUE(HTTPRequest::isBandwidthThrottled());
    auto onCarrier = requestFor(nginx->url("/carrier.bin"));
    double seconds = secondsToRun({onCarrier});
    EXPECT_NEAR(3.0 * 14800 / seconds / 14800, 1.0, 0.1) << "the carrier download took " << seconds << " s";

    // Onto a local network: the change notification lifts the limit.
    flags->setFlags("0.0.0.0", ReachabilityFlag::Reachable);
    EXPECT_TRUE(runMainUntil([] { return !HTTPRequest::isBandwidthThrottled(); }, 5));
    EXPECT_EQ(HTTPRequest::bandwidthLimitedReadLength(65536), 65536u);
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 14800u) << "the limit waits for the carrier network";

    // A carrier-only limit of 0 is no limit: an upload on the carrier network goes through.
    flags->setFlags("0.0.0.0", ReachabilityFlag::Reachable | ReachabilityFlag::TransientConnection);
    HTTPRequest::throttleBandwidthForWWANUsingLimit(0);
    EXPECT_FALSE(HTTPRequest::isBandwidthThrottled());
    auto unlimited = upload(*nginx, "unlimited.bin", 200000);
    unlimited->setTimeOutSeconds(5);
    secondsToRun({unlimited});
    EXPECT_EQ(unlimited->responseStatusCode(), 201);

    // Switched off: neither a limit nor the carrier-only mode remain.
    HTTPRequest::setShouldThrottleBandwidthForWWAN(false);
    EXPECT_EQ(HTTPRequest::maxBandwidthPerSecond(), 0u);
    HTTPRequest::setMaxBandwidthPerSecond(1000);
    flags->setFlags("0.0.0.0", ReachabilityFlag::Reachable);
    RunLoop::main().runMode(kDefaultRunLoopMode, 0.1, false);
    EXPECT_TRUE(HTTPRequest::isBandwidthThrottled()) << "a plain limit applies on every network";
}

// Spends the whole allowance from another thread for `duration`, as other transfers
// would, so that a request can only wait.
class Starvation {
public:
    explicit Starvation(std::chrono::milliseconds duration)
        : m_thread([this, duration] {
            auto end = Clock::now() + duration;
            while (Clock::now() < end && !m_stop.load()) {
                HTTPRequest::incrementBandwidthUsedInLastSecond(10 * HTTPRequest::maxBandwidthPerSecond());
                std::this_thread::sleep_for(2ms);
            }
            m_over.store(true);
        })
    {
    }
    ~Starvation()
    {
        m_stop.store(true);
        m_thread.join();
    }
    bool isOver() const { return m_over.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_over{false};
    std::thread m_thread;
};

TEST_F(HTTPRequestThrottling, WaitingForBandwidthIsNotInactivity)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("small.bin", bytesOf(4000)).isError());
    HTTPRequest::setMaxBandwidthPerSecond(20000);
    Starvation starvation(1500ms);
    auto request = requestFor(nginx->url("/small.bin"));
    request->setTimeOutSeconds(0.5);
    secondsToRun({request});
    EXPECT_TRUE(starvation.isOver());
    EXPECT_EQ(request->totalBytesRead(), 4000u);
}

// A listening socket that never accepts: the connection opens, and nothing answers
// the secure handshake, so not one body byte can be sent.
TEST_F(HTTPRequestThrottling, AnUnsentBodyDoesNotPutOffTheTimeOut)
{
    FileDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    ASSERT_TRUE(listener && ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                && ::listen(listener.get(), 4) == 0
                && ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        << "cannot start the silent server: " << errnoText(errno);
    auto request = requestFor("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/upload");
    request->appendPostData(bytesOf(1000));
    request->setTimeOutSeconds(0.5);
    auto delegate = std::make_shared<RecordingDelegate>();
    request->setDelegate(delegate);
    request->startAsynchronous();
    bool ended = runMainUntil([&] { return delegate->failed == 1; }, 15);
    if (!ended)
        request->cancel();
    ASSERT_TRUE(ended) << "the request never timed out";
    EXPECT_EQ(request->error(), HTTPRequestErrors::requestTimedOut());
    EXPECT_EQ(request->totalBytesSent(), 0u);
}

TEST_F(HTTPRequestThrottling, CancelReachesARequestWaitingForBandwidth)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("small.bin", bytesOf(4000)).isError());
    HTTPRequest::setMaxBandwidthPerSecond(20000);
    Starvation starvation(20s);
    auto request = requestFor(nginx->url("/small.bin"));
    auto delegate = std::make_shared<RecordingDelegate>();
    request->setDelegate(delegate);
    request->startAsynchronous();
    RunLoop::main().runMode(kDefaultRunLoopMode, 0.3, false);
    request->cancel();
    ASSERT_TRUE(runMainUntil([&] { return delegate->failed == 1; }, 10));
    EXPECT_EQ(request->error(), HTTPRequestErrors::requestCancelled());
    EXPECT_FALSE(starvation.isOver()) << "the cancel waited for the starvation to end";
}

} // namespace

// How closely the process-wide bandwidth limit holds: the rate achieved over ten
// seconds divided by the limit, for our client (one download, and four at once
// sharing the limit) beside the curl command's --limit-rate on the same file. Each
// row moves ten seconds' worth at its limit; the counter rate_over_limit is the
// figure to compare (1.00 is exact).
#include "HttpBenchServer.h"

#include <waterline/http/HTTPRequest.h>
#include <waterline/testing/Subprocess.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace waterline::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kSeconds = 10;

// A file of `bytes` zeros (sparse: it takes no disk), made once per size.
std::optional<std::string> zeroFile(benchmark::State& state, const HttpBenchServer& server, std::uint64_t bytes)
{
    std::string name = "throttle-";
    name += std::to_string(bytes);
    name += ".bin";
    auto path = server.nginx.root() / name;
    if (!std::filesystem::exists(path)) {
        std::error_code cause;
        if (!server.nginx.writeFile(name, "").isError())
            std::filesystem::resize_file(path, bytes, cause);
        if (cause || std::filesystem::file_size(path, cause) != bytes) {
            state.SkipWithError(("cannot make " + path.string()).c_str());
            return std::nullopt;
        }
    }
    return server.nginx.url("/" + name);
}

void reportRate(benchmark::State& state, std::uint64_t bytes, Clock::duration elapsed, std::uint32_t limit)
{
    double rate = static_cast<double>(bytes) / std::chrono::duration<double>(elapsed).count();
    state.counters["bytes_per_second"] = rate;
    state.counters["rate_over_limit"] = rate / limit;
}

// Downloads `url` on `downloads` threads at once; answers the bytes received, or none
// after a failure.
std::optional<std::uint64_t> downloadAtOnce(const std::string& url, int downloads)
{
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    std::vector<std::thread> threads;
    for (int i = 0; i < downloads; ++i) {
        auto request = HTTPRequest::requestWithURL(URL::parse(url));
        request->setAllowCompressedResponse(false);
        requests.push_back(request);
        threads.emplace_back([request] { request->startSynchronous(); });
    }
    for (auto& thread : threads)
        thread.join();
    std::uint64_t bytes = 0;
    for (const auto& request : requests) {
        if (request->error() || request->responseStatusCode() != 200)
            return std::nullopt;
        bytes += request->totalBytesRead();
    }
    return bytes;
}

void BM_Throttling_HTTPRequest(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto limit = static_cast<std::uint32_t>(state.range(0));
    auto downloads = static_cast<int>(state.range(1));
    auto url = zeroFile(state, *server, kSeconds * limit / downloads);
    if (!url)
        return;
    HTTPRequest::setMaxBandwidthPerSecond(limit);
    std::uint64_t bytes = 0;
    Clock::duration elapsed{};
    for (auto _ : state) {
        auto began = Clock::now();
        auto received = downloadAtOnce(*url, downloads);
        elapsed = Clock::now() - began;
        if (!received) {
            state.SkipWithError("a throttled download failed");
            break;
        }
        bytes = *received;
    }
    HTTPRequest::setMaxBandwidthPerSecond(0);
    reportRate(state, bytes, elapsed, limit);
}

void BM_Throttling_CurlLimitRate(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto limit = static_cast<std::uint32_t>(state.range(0));
    std::uint64_t bytes = kSeconds * limit;
    auto url = zeroFile(state, *server, bytes);
    if (!url)
        return;
    Clock::duration elapsed{};
    for (auto _ : state) {
        auto began = Clock::now();
        auto run = testing::runCommand({"curl", "--silent", "--show-error", "--fail", "--limit-rate",
                                        std::to_string(limit), "-o", "/dev/null", *url},
                                       {.timeout = std::chrono::minutes(2)});
        elapsed = Clock::now() - began;
        if (!run || !run->exit.succeeded()) {
            state.SkipWithError(run ? ("curl " + run->exit.description()).c_str()
                                    : run.error()->localizedDescription().c_str());
            return;
        }
    }
    reportRate(state, bytes, elapsed, limit);
}

} // namespace

BENCHMARK(BM_Throttling_HTTPRequest)
    ->ArgNames({"limit", "downloads"})
    ->Args({14800, 1})
    ->Args({1000000, 1})
    ->Args({50000000, 1})
    ->Args({1000000, 4})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Throttling_CurlLimitRate)
    ->ArgNames({"limit"})
    ->Arg(14800)
    ->Arg(1000000)
    ->Arg(50000000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace waterline::bench

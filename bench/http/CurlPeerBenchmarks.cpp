// The peers our client is measured against: the curl command (a process per download,
// as a user would run it) and libcurl's easy interface in this process.
#include "HttpBenchServer.h"

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/testing/Subprocess.h>

#include <curl/curl.h>
#include <fcntl.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace waterline::bench {

namespace {

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

EasyHandle makeEasyHandle()
{
    return EasyHandle(curl_easy_init(), &curl_easy_cleanup);
}

size_t appendToVector(char* data, size_t size, size_t count, void* target)
{
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(target);
    bytes.insert(bytes.end(), data, data + size * count);
    return size * count;
}

size_t appendToString(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

size_t writeToFile(char* data, size_t size, size_t count, void* target)
{
    auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(data), size * count);
    return writeAll(static_cast<FileDescriptor*>(target)->get(), bytes) ? bytes.size() : 0;
}

// Runs one transfer of `handle` to `url` through `write` into `target`; false (and the
// row failed) when it did not end in a 200.
bool perform(benchmark::State& state, CURL* handle, const std::string& url, curl_write_callback write, void* target)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, target);
    CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || status != 200) {
        state.SkipWithError(
            (std::string("libcurl: ") + curl_easy_strerror(result) + ", status " + std::to_string(status)).c_str());
        return false;
    }
    return true;
}

bool expectSize(benchmark::State& state, std::uint64_t actual, std::uint64_t expected)
{
    if (actual != expected)
        state.SkipWithError(("received " + std::to_string(actual) + " bytes, not " + std::to_string(expected)).c_str());
    return actual == expected;
}

void BM_LargeDownload_CurlCommand(benchmark::State& state, bool toFile)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    const std::string& output = toFile ? benchDownloadPath() : std::string("/dev/null");
    for (auto _ : state) {
        auto run = testing::runCommand({"curl", "--silent", "--show-error", "--fail", "-o", output, server->largeURL},
                                       {.timeout = std::chrono::minutes(5)});
        if (!run || !run->exit.succeeded()) {
            state.SkipWithError(run ? ("curl " + run->exit.description() + ": " + run->output).c_str()
                                    : run.error()->localizedDescription().c_str());
            return;
        }
    }
    if (toFile && !expectSize(state, std::filesystem::file_size(output), server->largeBytes))
        return;
    reportLargeDownload(state, *server);
}

void BM_LargeDownload_LibcurlToMemory(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto handle = makeEasyHandle();
    for (auto _ : state) {
        std::vector<std::uint8_t> body; // fresh each time, as a caller would start
        if (!perform(state, handle.get(), server->largeURL, appendToVector, &body)
            || !expectSize(state, body.size(), server->largeBytes))
            return;
        benchmark::DoNotOptimize(body.data());
    }
    reportLargeDownload(state, *server);
}

void BM_LargeDownload_LibcurlToFile(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto handle = makeEasyHandle();
    for (auto _ : state) {
        auto file = FileDescriptor::open(benchDownloadPath(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!file) {
            state.SkipWithError(file.error()->localizedDescription().c_str());
            return;
        }
        if (!perform(state, handle.get(), server->largeURL, writeToFile, &*file) || file->close().isError())
            return;
    }
    if (!expectSize(state, std::filesystem::file_size(benchDownloadPath()), server->largeBytes))
        return;
    reportLargeDownload(state, *server);
}

void BM_SmallRequests_LibcurlReusedHandle(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto handle = makeEasyHandle();
    std::string body;
    for (auto _ : state) {
        for (int i = 0; i < kSmallRequestsPerIteration; ++i) {
            body.clear();
            if (!perform(state, handle.get(), server->smallURL, appendToString, &body)
                || !expectSize(state, body.size(), server->smallBytes))
                return;
        }
    }
    reportSmallRequests(state);
}

// The peer of the shared request queue: as many threads as the queue runs requests
// at once, each with its own reused handle, taking requests from one shared count.
void BM_SmallRequests_LibcurlFourThreads(benchmark::State& state)
{
    constexpr int kThreads = 4;
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    std::mutex failureLock;
    std::string failure;
    auto work = [&](std::atomic<int>& remaining) {
        auto handle = makeEasyHandle();
        std::string body;
        curl_easy_setopt(handle.get(), CURLOPT_URL, server->smallURL.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, appendToString);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
        while (remaining.fetch_sub(1) > 0) {
            body.clear();
            CURLcode result = curl_easy_perform(handle.get());
            long status = 0;
            curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
            if (result != CURLE_OK || status != 200 || body.size() != server->smallBytes) {
                std::lock_guard guard(failureLock);
                failure = std::string("libcurl: ") + curl_easy_strerror(result) + ", status " + std::to_string(status);
                return;
            }
        }
    };
    for (auto _ : state) {
        std::atomic<int> remaining{kSmallRequestsPerIteration};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back(work, std::ref(remaining));
        for (auto& thread : threads)
            thread.join();
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
    }
    reportSmallRequests(state);
}

} // namespace

BENCHMARK_CAPTURE(BM_LargeDownload_CurlCommand, to_dev_null, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LargeDownload_CurlCommand, to_file, true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeDownload_LibcurlToMemory)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeDownload_LibcurlToFile)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRequests_LibcurlReusedHandle)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRequests_LibcurlFourThreads)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace waterline::bench

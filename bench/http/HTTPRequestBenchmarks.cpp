// Our client's rows, beside the curl command and libcurl's easy interface
// (CurlPeerBenchmarks.cpp) on the same server: large downloads to memory and to a
// file, and small GETs over reused connections, one after another on this thread and
// all at once on the shared request queue.
#include "HttpBenchServer.h"

#include <waterline/http/HTTPRequest.h>

#include <filesystem>

namespace waterline::bench {

namespace {

std::shared_ptr<HTTPRequest> plainRequest(const std::string& url)
{
    auto request = HTTPRequest::requestWithURL(URL::parse(url));
    request->setAllowCompressedResponse(false); // the peers do not ask for gzip either
    request->setUseCookiePersistance(false);
    return request;
}

bool succeeded(benchmark::State& state, const HTTPRequest& request)
{
    if (auto error = request.error()) {
        state.SkipWithError(error->localizedDescription().c_str());
        return false;
    }
    if (request.responseStatusCode() != 200) {
        state.SkipWithError(("status " + std::to_string(request.responseStatusCode())).c_str());
        return false;
    }
    return true;
}

void BM_LargeDownload_HTTPRequestToMemory(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    for (auto _ : state) {
        auto request = plainRequest(server->largeURL);
        request->startSynchronous();
        if (!succeeded(state, *request))
            return;
        if (request->rawResponseData()->size() != server->largeBytes) {
            state.SkipWithError("short body");
            return;
        }
    }
    reportLargeDownload(state, *server);
}

void BM_LargeDownload_HTTPRequestToFile(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    for (auto _ : state) {
        auto request = plainRequest(server->largeURL);
        request->setDownloadDestinationPath(benchDownloadPath());
        request->startSynchronous();
        if (!succeeded(state, *request))
            return;
    }
    if (std::filesystem::file_size(benchDownloadPath()) != server->largeBytes) {
        state.SkipWithError("short file");
        return;
    }
    reportLargeDownload(state, *server);
}

void BM_SmallRequests_HTTPRequestSynchronous(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    for (auto _ : state) {
        for (int i = 0; i < kSmallRequestsPerIteration; ++i) {
            auto request = plainRequest(server->smallURL);
            request->startSynchronous();
            if (!succeeded(state, *request))
                return;
        }
    }
    reportSmallRequests(state);
}

void BM_SmallRequests_HTTPRequestSharedQueue(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    for (auto _ : state) {
        std::vector<std::shared_ptr<HTTPRequest>> requests;
        requests.reserve(kSmallRequestsPerIteration);
        for (int i = 0; i < kSmallRequestsPerIteration; ++i) {
            requests.push_back(plainRequest(server->smallURL));
            requests.back()->startAsynchronous();
        }
        HTTPRequest::sharedRequestQueue().waitUntilAllOperationsAreFinished();
        for (const auto& request : requests)
            if (!succeeded(state, *request))
                return;
    }
    reportSmallRequests(state);
}

} // namespace

BENCHMARK(BM_LargeDownload_HTTPRequestToMemory)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeDownload_HTTPRequestToFile)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRequests_HTTPRequestSynchronous)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRequests_HTTPRequestSharedQueue)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace waterline::bench

// The server every HTTP benchmark row downloads from, made once per benchmark process:
// nginx on loopback serving one 256 MiB file and one small file. Rows of other clients
// (our own HTTPRequest among them) use the same server, so their figures compare.
//
//     static void BM_Ours(benchmark::State& state)
//     {
//         const auto* server = httpBenchServer(state);   // marks the row failed when absent
//         if (!server)
//             return;
//         for (auto _ : state)
//             download(server->largeURL);
//         reportLargeDownload(state, *server);
//     }
#pragma once

#include <waterline/testing/NginxServer.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace waterline::bench {

struct HttpBenchServer {
    testing::NginxServer& nginx;
    std::string largeURL; // the 256 MiB file
    std::uint64_t largeBytes;
    std::string smallURL; // a file of a few hundred bytes
    std::uint64_t smallBytes;
};

// The shared server, started on first use; none (and the row skipped with the reason)
// when it could not be made.
const HttpBenchServer* httpBenchServer(benchmark::State& state);

// A temporary path for downloads to a file, removed when the process ends.
const std::string& benchDownloadPath();

// Counters every large-download row reports: bytes per second of wall time.
void reportLargeDownload(benchmark::State& state, const HttpBenchServer& server);

// The number of GETs one iteration of a small-request row makes, and its counters:
// requests per second of wall time.
inline constexpr int kSmallRequestsPerIteration = 2000;
void reportSmallRequests(benchmark::State& state);

} // namespace waterline::bench

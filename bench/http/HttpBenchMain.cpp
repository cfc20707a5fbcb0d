// bench_http: every row downloads from the same nginx on loopback (HttpBenchServer.h).
// Rows measure wall time: the work happens in the server, the kernel and other processes.
#include <curl/curl.h>

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}

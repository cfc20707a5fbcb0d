#include "HttpBenchServer.h"

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace waterline::bench {

namespace {

constexpr std::uint64_t kLargeBytes = 256ull << 20;
constexpr std::size_t kSmallBytes = 512;

// Writes the large file in pieces, so the benchmark never holds 256 MiB to make it.
ErrorOr<void> writeLargeFile(const std::filesystem::path& path)
{
    auto file = WL_TRY(FileDescriptor::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644));
    std::vector<std::uint8_t> piece(1 << 20);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<std::uint8_t>(i * 131 + (i >> 8));
    for (std::uint64_t written = 0; written < kLargeBytes; written += piece.size())
        WL_TRY(writeAll(file.get(), piece));
    return file.close();
}

struct Made {
    std::unique_ptr<testing::NginxServer> nginx;
    std::unique_ptr<HttpBenchServer> server;
    std::string error;
};

Made make()
{
    Made made;
    auto nginx = testing::NginxServer::start();
    if (!nginx) {
        made.error = "nginx did not start: " + nginx.error()->localizedDescription();
        return made;
    }
    made.nginx = nginx.releaseValue();
    auto large = writeLargeFile(made.nginx->root() / "large.bin");
    auto small = made.nginx->writeFile("small.txt", std::string(kSmallBytes, 's'));
    if (large.isError() || small.isError()) {
        made.error = "cannot write the served files: "
            + (large.isError() ? large.error() : small.error())->localizedDescription();
        return made;
    }
    made.server.reset(new HttpBenchServer{*made.nginx, made.nginx->url("/large.bin"), kLargeBytes,
                                          made.nginx->url("/small.txt"), kSmallBytes});
    return made;
}

} // namespace

const HttpBenchServer* httpBenchServer(benchmark::State& state)
{
    static Made made = make();
    if (!made.server)
        state.SkipWithError(made.error.c_str());
    return made.server.get();
}

const std::string& benchDownloadPath()
{
    static const std::string path = [] {
        std::string made = temporaryFilePath();
        std::atexit([] { std::filesystem::remove(benchDownloadPath()); });
        return made;
    }();
    return path;
}

void reportLargeDownload(benchmark::State& state, const HttpBenchServer& server)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * server.largeBytes));
}

void reportSmallRequests(benchmark::State& state)
{
    state.counters["requests"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kSmallRequestsPerIteration), benchmark::Counter::kIsRate);
}

} // namespace waterline::bench

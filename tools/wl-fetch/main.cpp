// wl-fetch: fetches URLs over HTTP and HTTPS with the library's request object, in
// the manner of common command-line download tools: the body to standard output or a
// file, resumable downloads, bodies from the command line or streamed from a file,
// gzip both ways, redirects, time-outs, TLS options, proxies and PAC scripts, a
// cookie jar. A failed request prints "wl-fetch: DESCRIPTION" and exits with the
// request's error code (1-10); a bad command line exits 64.
#include "FetchOptions.h"
#include "Fetcher.h"

#include <waterline/foundation/ProgramInfo.h>

#include <iostream>
#include <variant>

using namespace waterline::fetch;

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-fetch", argc, argv))
        return 0;
    auto parsed = parseFetchOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::cout << kFetchUsage;
        return 0;
    }
    if (auto* problem = std::get_if<UsageError>(&parsed)) {
        std::cerr << "wl-fetch: " << problem->message << "\n" << kFetchUsage;
        return kExitUsage;
    }
    auto fetcher = std::make_shared<Fetcher>(std::get<FetchOptions>(std::move(parsed)));
    return fetcher->run();
}

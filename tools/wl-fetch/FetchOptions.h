// The command line of wl-fetch, read into named options. Reading never touches the
// network or the file system; a bad command line gives the text to show and exit 64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace waterline::fetch {

// "USER" or "USER:PASSWORD" (the password may hold ':').
struct Credentials {
    std::string user;
    std::optional<std::string> password;
};

struct FetchOptions {
    std::vector<std::string> urls;
    std::vector<std::string> outputPaths;                     // -o, one per URL in order; else stdout
    std::optional<std::string> outputDir;                     // --output-dir: files named after the URLs
    bool resume = false;                                      // --resume: FILE.part, renamed at the end
    std::optional<std::string> method;                        // -X
    std::optional<std::string> data;                          // -d, or --data-binary without @
    std::optional<std::string> dataFile;                      // --data-binary @FILE, streamed
    bool gzipBody = false;                                    // --gzip-body
    bool compressed = true;                                   // --no-compressed clears it
    std::vector<std::pair<std::string, std::string>> headers; // -H
    std::optional<std::string> userAgent;                     // -A
    std::optional<double> timeoutSeconds;                     // --timeout
    bool redirect = true;                                     // --no-redirect clears it
    bool httpOne = false;                                     // --http1.0
    bool insecure = false;                                    // -k, --insecure
    std::optional<std::string> caFile;                        // --cacert
    std::optional<std::pair<std::string, int>> proxy;         // --proxy HOST:PORT
    std::optional<std::string> pacURL;                        // --pac
    std::optional<std::string> cookieJar;                     // --cookie-jar
    bool includeHeaders = false;                              // -i
    std::optional<std::string> headerDumpPath;                // -D
    bool failOnHTTPError = false;                             // --fail
    bool verbose = false;                                     // -v
    std::optional<Credentials> user;                          // -u USER[:PASSWORD]
    std::optional<std::string> domain;                        // --domain (NTLM)
    std::optional<Credentials> proxyUser;                     // --proxy-user USER[:PASSWORD]
    bool keychain = false;                                    // --keychain: keep credentials across runs
    bool session = true;                                      // --no-session clears it
    bool prompt = true;                                       // --no-prompt clears it
    std::optional<bool> progress;                             // --progress / --no-progress; else a terminal's
    bool accurateProgress = false;                            // --accurate-progress: sizes first (HEAD)
    std::optional<std::uint32_t> limitRate;                   // --limit-rate, bytes per second
    bool wwanLimit = false;                                   // --wwan-limit: only on a carrier network
    bool keepGoing = false;                                   // --keep-going: a failure cancels nothing
};

struct HelpRequested {};
struct UsageError {
    std::string message;
};

std::variant<FetchOptions, HelpRequested, UsageError> parseFetchOptions(const std::vector<std::string>& arguments);

extern const char* const kFetchUsage;

} // namespace waterline::fetch

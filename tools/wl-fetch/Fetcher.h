// Runs wl-fetch's requests the way a program with a main run loop does: each request
// runs on the shared request queue, the main thread runs its loop, and the request's
// finish or failure arrives there, where the output is written and the next URL is
// started. The loop stops after the last one.
#pragma once

#include "FetchOptions.h"

#include <waterline/http/HTTPRequest.h>

#include <memory>

namespace waterline::fetch {

inline constexpr int kExitUsage = 64;
inline constexpr int kExitHTTPError = 22;

class Fetcher : public HTTPRequestDelegate, public std::enable_shared_from_this<Fetcher> {
public:
    explicit Fetcher(FetchOptions options);

    // Fetches every URL in turn; the exit status.
    int run();

    bool implements(std::string_view callback) const override;
    void requestFinished(HTTPRequest& request) override;
    void requestFailed(HTTPRequest& request) override;

private:
    void startNext();
    void finishAll();
    ErrorOr<std::shared_ptr<HTTPRequest>> makeRequest(const std::string& text);
    ErrorOr<void> configureBody(HTTPRequest& request);
    void configureCredentials(HTTPRequest& request);
    void writeResponse(HTTPRequest& request);
    void describeExchange(HTTPRequest& request);
    void noteFailure(int exitCode, const std::string& description);

    FetchOptions m_options;
    std::size_t m_next = 0;
    std::shared_ptr<HTTPRequest> m_current;
    int m_exitCode = 0;
};

} // namespace waterline::fetch

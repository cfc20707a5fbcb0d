// Runs wl-fetch's requests the way a program with a main run loop does: every URL's
// request goes into one NetworkQueue (at most 4 run at once), the main thread runs
// its loop, and each finish or failure arrives there, where the output is written
// (bodies for standard output in the order of the URLs). The loop stops when the
// queue reports the end of the batch. Unless --keep-going, the first failure cancels
// the rest; the exit status is the first failure's.
#pragma once

#include "FetchOptions.h"

#include "ProgressDisplay.h"

#include <waterline/http/HTTPRequest.h>
#include <waterline/http/NetworkQueue.h>

#include <memory>
#include <optional>
#include <vector>

namespace waterline::fetch {

inline constexpr int kExitUsage = 64;
inline constexpr int kExitHTTPError = 22;

class Fetcher : public NetworkQueueDelegate, public std::enable_shared_from_this<Fetcher> {
public:
    explicit Fetcher(FetchOptions options);
    ~Fetcher() override;

    // Fetches every URL in turn; the exit status.
    int run();

    bool implements(std::string_view callback) const override;
    void requestFinished(HTTPRequest& request) override;
    void requestFailed(HTTPRequest& request) override;
    void queueFinished(NetworkQueue& queue) override;

private:
    // One URL of the batch: its request (none when it could not be made), where its
    // body goes (none: standard output) and whether it has been reported.
    struct Transfer {
        std::string urlText;
        std::optional<std::string> outputPath;
        std::shared_ptr<HTTPRequest> request;
        bool reported = false;
        bool failed = false;
        bool printed = false;
    };

    void startAll();
    void configureOutput(HTTPRequest& request, const std::optional<std::string>& outputPath);
    void finishAll();
    void configureQueue();
    static void applyBandwidthLimit(const FetchOptions& options);
    bool wantsProgress() const;
    Transfer* transferOf(const HTTPRequest& request);
    void printReadyBodies();
    ErrorOr<std::shared_ptr<HTTPRequest>> makeRequest(const std::string& text);
    ErrorOr<void> configureBody(HTTPRequest& request);
    void configureCredentials(HTTPRequest& request);
    void writeResponse(HTTPRequest& request);
    void describeExchange(HTTPRequest& request);
    void noteFailure(int exitCode, const std::string& description, const std::string& urlText = {});

    FetchOptions m_options;
    std::vector<Transfer> m_transfers;
    std::shared_ptr<NetworkQueue> m_queue;
    std::unique_ptr<ProgressDisplay> m_display;
    std::vector<std::string> m_deferredMessages; // failures told once the bars are done
    int m_exitCode = 0;
};

} // namespace waterline::fetch

// Helpers for the request tests: starting a real server or failing with the reason,
// URLs from text, and a delegate that records what it was told.
#pragma once

#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/URL.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Starts a server (an ErrorOr<std::unique_ptr<T>> expression) into `name`, or fails
// the test with the reason it could not start.
#define START_OR_FAIL(name, expression)                                                                                \
    auto name##Started = (expression);                                                                                 \
    ASSERT_FALSE(name##Started.isError()) << "cannot start " #name ": " << name##Started.error()->debugDescription();  \
    auto name = name##Started.releaseValue()

namespace waterline::test {

inline URL urlFrom(const std::string& text)
{
    auto url = URL::parse(text);
    if (!url)
        throw std::invalid_argument("not a URL: " + text);
    return *url;
}

inline std::shared_ptr<HTTPRequest> requestFor(const std::string& text)
{
    return HTTPRequest::requestWithURL(urlFrom(text));
}

inline std::string bodyText(const HTTPRequest& request)
{
    auto data = request.responseData();
    return data ? std::string(data->begin(), data->end()) : std::string();
}

inline std::string errorText(const HTTPRequest& request)
{
    auto error = request.error();
    return error ? error->localizedDescription() : std::string("(no error)");
}

// Runs the main run loop (default mode) until `done` holds or `seconds` pass; returns
// whether `done` held. Main-thread notifications of requests arrive here.
inline bool runMainUntil(const std::function<bool()>& done, double seconds = 10)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        RunLoop::main().runMode(kDefaultRunLoopMode, 0.05, true);
    return done();
}

// Records the callbacks it implements; answers implements() for the finish and fail
// callbacks only.
class RecordingDelegate : public HTTPRequestDelegate {
public:
    bool implements(std::string_view callback) const override
    {
        return callback == kRequestFinished || callback == kRequestFailed;
    }
    void requestFinished(HTTPRequest&) override { ++finished; }
    void requestFailed(HTTPRequest& request) override
    {
        ++failed;
        lastError = request.error();
    }
    int finished = 0;
    int failed = 0;
    ErrorPtr lastError;
};

// A temporary file path removed with the test.
struct ScratchPath {
    std::string path = temporaryFilePath();
    ~ScratchPath()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

} // namespace waterline::test

// The process-wide bandwidth limit shared by every request and body stream.
#include <waterline/http/HTTPRequest.h>

#include <atomic>

namespace waterline {

namespace {

std::atomic<std::uint32_t> s_maxBandwidthPerSecond{0};

} // namespace

std::uint32_t HTTPRequest::maxBandwidthPerSecond()
{
    return s_maxBandwidthPerSecond.load();
}

void HTTPRequest::setMaxBandwidthPerSecond(std::uint32_t bytesPerSecond)
{
    s_maxBandwidthPerSecond.store(bytesPerSecond);
}

void HTTPRequest::setShouldThrottleBandwidthForWWAN(bool throttle)
{
    setMaxBandwidthPerSecond(throttle ? 14800 : 0);
}

void HTTPRequest::throttleBandwidthForWWANUsingLimit(std::uint32_t limit)
{
    setMaxBandwidthPerSecond(limit);
}

} // namespace waterline

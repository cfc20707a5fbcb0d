#include <waterline/http/HTTPRequest.h>
#include <waterline/http/ThrottledInputStream.h>

namespace waterline {

namespace {

// Makes asking for the allowance and counting a read one step for all body streams.
std::mutex& streamLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

} // namespace

ThrottledInputStream::ThrottledInputStream(std::unique_ptr<InputStream> stream)
    : m_stream(std::move(stream))
{
}

ErrorOr<std::unique_ptr<ThrottledInputStream>>
ThrottledInputStream::inputStreamWithFileAtPath(const std::filesystem::path& path)
{
    auto file = WL_TRY(InputStream::fromFile(path));
    return std::make_unique<ThrottledInputStream>(std::move(file));
}

std::unique_ptr<ThrottledInputStream>
ThrottledInputStream::inputStreamWithData(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
{
    return std::make_unique<ThrottledInputStream>(InputStream::fromBytes(std::move(bytes)));
}

ErrorOr<std::size_t> ThrottledInputStream::read(std::span<std::uint8_t> buffer)
{
    std::size_t length = buffer.size();
    {
        std::lock_guard guard(streamLock());
        if (HTTPRequest::isBandwidthThrottled())
            length = std::min<std::size_t>(length, std::max<std::uint32_t>(HTTPRequest::maxUploadReadLength(), 1));
        HTTPRequest::incrementBandwidthUsedInLastSecond(length);
    }
    auto count = m_stream->read(buffer.first(length));
    std::size_t taken = count ? *count : 0;
    if (taken < length)
        HTTPRequest::returnUnusedBandwidth(length - taken);
    return count;
}

bool ThrottledInputStream::hasBytesAvailable()
{
    if (HTTPRequest::isBandwidthThrottled()) {
        std::lock_guard guard(streamLock());
        if (HTTPRequest::maxUploadReadLength() == 0)
            return false;
    }
    return m_stream->hasBytesAvailable();
}

} // namespace waterline

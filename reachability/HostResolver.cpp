#include "HostResolver.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace waterline {

namespace {

// Shared between the caller and the look-up thread; whoever leaves last frees it.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<IPv4Bytes> address;
};

std::optional<IPv4Bytes> lookUp(const std::string& hostName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &results) != 0 || !results)
        return std::nullopt;
    std::optional<IPv4Bytes> address;
    for (auto* result = results; result; result = result->ai_next) {
        if (result->ai_family == AF_INET && result->ai_addrlen >= sizeof(sockaddr_in)) {
            IPv4Bytes bytes;
            std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr, 4);
            address = bytes;
            break;
        }
    }
    ::freeaddrinfo(results);
    return address;
}

} // namespace

std::optional<IPv4Bytes> resolveIPv4(const std::string& hostName, std::chrono::milliseconds timeLimit)
{
    if (hostName.empty())
        return std::nullopt;
    auto pending = std::make_shared<PendingLookup>();
    // The new thread inherits this thread's network namespace, so the look-up sees the
    // same network the caller does.
    std::thread([pending, hostName] {
        auto address = lookUp(hostName);
        std::lock_guard lock(pending->mutex);
        pending->address = address;
        pending->done = true;
        pending->finished.notify_all();
    }).detach();
    std::unique_lock lock(pending->mutex);
    if (!pending->finished.wait_for(lock, timeLimit, [&] { return pending->done; }))
        return std::nullopt;
    return pending->address;
}

} // namespace waterline

// A process-wide switchboard for named events ("NetworkReachabilityChangedNotification"):
// whoever posts a name reaches every observer of that name without knowing them.
// Observers are called synchronously on the posting thread, in the order they were
// added. An observer may remove itself or any other observer from inside its
// callback: an observer removed before its turn in a post is not called.
//
//     auto& center = NotificationCenter::defaultCenter();
//     auto token = center.addObserver("NetworkReachabilityChangedNotification",
//                                     [this](const Notification&) { reachabilityChanged(); });
//     center.post("NetworkReachabilityChangedNotification");
//     center.removeObserver(token);
//
// Thread-safe. After removeObserver returns no new call to that observer begins; a
// call already running on another thread may still be finishing.
#pragma once

#include <waterline/foundation/Notification.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace waterline {

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    // Identifies one registration; 0 is never handed out.
    struct ObserverToken {
        std::uint64_t value = 0;
        explicit operator bool() const { return value != 0; }
        friend bool operator==(const ObserverToken&, const ObserverToken&) = default;
    };

    // The process-wide centre, made on first use.
    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    ObserverToken addObserver(std::string name, Callback callback);

    // Removing an unknown or already removed token does nothing.
    void removeObserver(ObserverToken token);

    void post(const std::string& name, const void* object = nullptr);

private:
    struct Observer;
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<Observer>> m_observers;
    std::uint64_t m_nextToken = 1;
};

} // namespace waterline

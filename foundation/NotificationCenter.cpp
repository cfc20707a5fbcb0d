// Posting walks a snapshot of the observers taken under the lock and calls them with
// the lock released, so a callback may add or remove observers (itself included);
// each observer's `removed` flag keeps a removed one from being called later in the
// same post.
#include <waterline/foundation/NotificationCenter.h>

#include <algorithm>
#include <atomic>

namespace waterline {

struct NotificationCenter::Observer {
    std::uint64_t token;
    std::string name;
    Callback callback;
    std::atomic<bool> removed{false};
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter* center = new NotificationCenter; // lives until exit
    return *center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(std::string name, Callback callback)
{
    auto observer = std::make_shared<Observer>();
    observer->name = std::move(name);
    observer->callback = std::move(callback);
    std::lock_guard guard(m_lock);
    observer->token = m_nextToken++;
    m_observers.push_back(observer);
    return ObserverToken{observer->token};
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    std::shared_ptr<Observer> removed; // released outside the lock
    std::lock_guard guard(m_lock);
    auto it = std::find_if(m_observers.begin(), m_observers.end(),
                           [&](const auto& observer) { return observer->token == token.value; });
    if (it == m_observers.end())
        return;
    (*it)->removed.store(true);
    removed = std::move(*it);
    m_observers.erase(it);
}

void NotificationCenter::post(const std::string& name, const void* object)
{
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard guard(m_lock);
        for (const auto& observer : m_observers) {
            if (observer->name == name)
                matching.push_back(observer);
        }
    }
    const Notification notification{name, object};
    for (const auto& observer : matching) {
        if (!observer->removed.load() && observer->callback)
            observer->callback(notification);
    }
}

} // namespace waterline

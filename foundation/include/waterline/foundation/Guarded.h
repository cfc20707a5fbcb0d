// A value and the lock that guards it, kept together so the value cannot be reached
// without the lock. The lock is any standard mutex type (a recursive one where the
// holder may re-enter).
//
//     static Guarded<std::vector<Cookie>, std::recursive_mutex> sessionCookies;
//     sessionCookies.with([&](auto& list) { list.push_back(cookie); });
//     auto count = sessionCookies.with([](const auto& list) { return list.size(); });
#pragma once

#include <mutex>
#include <utility>

namespace waterline {

template <typename T, typename Mutex = std::mutex> class Guarded {
public:
    template <typename... Args>
    explicit Guarded(Args&&... args)
        : m_value(std::forward<Args>(args)...)
    {
    }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    template <typename F> decltype(auto) with(F&& f)
    {
        std::lock_guard guard(m_mutex);
        return std::forward<F>(f)(m_value);
    }

    template <typename F> decltype(auto) with(F&& f) const
    {
        std::lock_guard guard(m_mutex);
        return std::forward<F>(f)(static_cast<const T&>(m_value));
    }

    // The lock itself, for code that must hold it across several steps.
    Mutex& mutex() const { return m_mutex; }

private:
    mutable Mutex m_mutex;
    T m_value;
};

} // namespace waterline

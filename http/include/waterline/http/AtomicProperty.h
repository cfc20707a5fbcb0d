// A field whose every get and set is atomic: scalars through std::atomic, anything
// else (strings, URLs, dictionaries, shared pointers) under a small lock of its own.
// Reads return a copy, so a value read on one thread cannot change under it.
#pragma once

#include <atomic>
#include <mutex>
#include <type_traits>
#include <utility>

namespace waterline {

template <typename T, bool = std::is_scalar_v<T>> class AtomicProperty {
public:
    AtomicProperty() = default;
    AtomicProperty(T value)
        : m_value(std::move(value))
    {
    }
    T get() const
    {
        std::lock_guard guard(m_lock);
        return m_value;
    }
    void set(T value)
    {
        std::lock_guard guard(m_lock);
        m_value = std::move(value);
    }
    // Changes the value in place under the lock.
    template <typename F> decltype(auto) modify(F&& change)
    {
        std::lock_guard guard(m_lock);
        return std::forward<F>(change)(m_value);
    }

private:
    mutable std::mutex m_lock;
    T m_value{};
};

template <typename T> class AtomicProperty<T, true> {
public:
    AtomicProperty() = default;
    AtomicProperty(T value)
        : m_value(value)
    {
    }
    T get() const { return m_value.load(); }
    void set(T value) { m_value.store(value); }
    T add(T delta) { return m_value.fetch_add(delta) + delta; }

private:
    std::atomic<T> m_value{};
};

} // namespace waterline

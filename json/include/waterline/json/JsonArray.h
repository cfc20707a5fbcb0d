// A JSON array: an ordered list of values, used much like a std::vector.
//
//   JsonArray levels{1, 2.5, nullptr};
//   levels.push_back("high");
//   for (const JsonValue& level : levels) ...
//
// Copies are deep and live on the heap. The elements of a parsed array lie in the
// document's arena (JsonArena.h); appending to such an array takes room from the same
// arena. Moving a parsed array out of its document keeps the document's memory alive
// for as long as the array lives.
#pragma once

#include <waterline/json/ElementStore.h>

#include <cstddef>
#include <initializer_list>

namespace waterline {

class JsonValue;

namespace detail {
template <typename Blocks> class JsonScanner;
}

class JsonArray {
public:
    using value_type = JsonValue;
    using iterator = JsonValue*;
    using const_iterator = const JsonValue*;

    JsonArray() noexcept = default;
    JsonArray(std::initializer_list<JsonValue> values);

    std::size_t size() const noexcept { return m_elements.size(); }
    bool empty() const noexcept { return size() == 0; }

    // Defined in JsonValue.h, where the elements' type is complete.
    const JsonValue* begin() const noexcept;
    const JsonValue* end() const noexcept;
    JsonValue* begin();
    JsonValue* end();
    // Unchecked, as for a vector.
    const JsonValue& operator[](std::size_t index) const noexcept;
    JsonValue& operator[](std::size_t index);
    // std::out_of_range past the end.
    const JsonValue& at(std::size_t index) const;
    JsonValue& at(std::size_t index);
    const JsonValue& front() const noexcept { return (*this)[0]; }
    const JsonValue& back() const noexcept { return (*this)[size() - 1]; }
    JsonValue& front() { return (*this)[0]; }
    JsonValue& back() { return (*this)[size() - 1]; }

    void push_back(JsonValue value);
    template <typename... Args> JsonValue& emplace_back(Args&&... args);
    JsonValue* insert(const JsonValue* position, JsonValue value);
    JsonValue* erase(const JsonValue* position);
    void pop_back();
    void clear();
    void reserve(std::size_t count);

    friend bool operator==(const JsonArray& a, const JsonArray& b);

private:
    template <typename Blocks> friend class detail::JsonScanner;
    friend class JsonValue;

    detail::ElementStore<JsonValue> m_elements;
};

} // namespace waterline

#include <waterline/json/JsonValue.h> // JsonValue completes the array

// A JSON value: one of the six kinds a JSON text can hold.
//
// The value owns its whole tree and copies deeply; it is built from literals
// (`JsonValue v = 42;`, `"text"`, `true`, `nullptr`) and from containers written in
// place:
//
//   JsonValue doc = JsonObject{{"name", "tide"}, {"levels", JsonArray{1, 2.5, nullptr}}};
//
// Typed access (asString(), asObject(), ...) throws JsonTypeError naming both kinds when
// the value is of another kind; find() and the is...() queries never throw. Strings are
// UTF-8. Numbers are exact decimals (JsonNumber); booleans are a kind of their own and
// never compare equal to numbers.
#pragma once

#include <waterline/json/JsonNumber.h>
#include <waterline/json/JsonObject.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace waterline {

enum class JsonKind : std::uint8_t { Null, Boolean, Number, String, Array, Object };

std::string_view toString(JsonKind);

using JsonArray = std::vector<JsonValue>;

// Thrown by typed access to a value of another kind: a programming error.
class JsonTypeError : public std::logic_error {
public:
    JsonTypeError(JsonKind actual, JsonKind wanted);
};

class JsonValue {
public:
    JsonValue() noexcept = default;
    JsonValue(std::nullptr_t) noexcept {}
    JsonValue(bool value) noexcept
        : m_storage(value)
    {
    }
    template <typename Integer>
    requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>) JsonValue(Integer value)
        : m_storage(JsonNumber(value))
    {
    }
    JsonValue(double value)
        : m_storage(JsonNumber(value))
    {
    }
    JsonValue(JsonNumber value) noexcept
        : m_storage(std::move(value))
    {
    }
    JsonValue(const char* text)
        : m_storage(std::string(text))
    {
    }
    JsonValue(std::string_view text)
        : m_storage(std::string(text))
    {
    }
    JsonValue(std::string text) noexcept
        : m_storage(std::move(text))
    {
    }
    JsonValue(JsonArray array) noexcept
        : m_storage(std::move(array))
    {
    }
    JsonValue(JsonObject object) noexcept
        : m_storage(std::move(object))
    {
    }

    JsonKind kind() const { return static_cast<JsonKind>(m_storage.index()); }
    bool isNull() const { return kind() == JsonKind::Null; }
    bool isBool() const { return kind() == JsonKind::Boolean; }
    bool isNumber() const { return kind() == JsonKind::Number; }
    bool isString() const { return kind() == JsonKind::String; }
    bool isArray() const { return kind() == JsonKind::Array; }
    bool isObject() const { return kind() == JsonKind::Object; }
    // Objects and arrays: what a JSON document (rather than a fragment) holds at its top.
    bool isContainer() const { return isArray() || isObject(); }

    bool asBool() const { return get<bool>(JsonKind::Boolean); }
    const JsonNumber& asNumber() const { return get<JsonNumber>(JsonKind::Number); }
    const std::string& asString() const { return get<std::string>(JsonKind::String); }
    std::string& asString() { return get<std::string>(JsonKind::String); }
    const JsonArray& asArray() const { return get<JsonArray>(JsonKind::Array); }
    JsonArray& asArray() { return get<JsonArray>(JsonKind::Array); }
    const JsonObject& asObject() const { return get<JsonObject>(JsonKind::Object); }
    JsonObject& asObject() { return get<JsonObject>(JsonKind::Object); }

    // Element of an array (std::out_of_range past its end) or member of an object
    // (std::out_of_range when absent); JsonTypeError on other kinds.
    const JsonValue& operator[](std::size_t index) const { return asArray().at(index); }
    JsonValue& operator[](std::size_t index) { return asArray().at(index); }
    const JsonValue& operator[](std::string_view key) const { return asObject().at(key); }
    // Member of an object, inserting null under an absent key.
    JsonValue& operator[](std::string_view key) { return asObject()[key]; }
    // Member of an object; nullptr when absent or when this is not an object.
    const JsonValue* find(std::string_view key) const { return isObject() ? asObject().find(key) : nullptr; }

    friend bool operator==(const JsonValue& a, const JsonValue& b) { return a.m_storage == b.m_storage; }

private:
    template <typename T> const T& get(JsonKind wanted) const
    {
        if (const T* value = std::get_if<T>(&m_storage))
            return *value;
        throw JsonTypeError(kind(), wanted);
    }
    template <typename T> T& get(JsonKind wanted)
    {
        if (T* value = std::get_if<T>(&m_storage))
            return *value;
        throw JsonTypeError(kind(), wanted);
    }

    // The alternatives stand in the order of JsonKind.
    std::variant<std::monostate, bool, JsonNumber, std::string, JsonArray, JsonObject> m_storage;
};

struct JsonMember {
    std::string key;
    JsonValue value;

    friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

inline std::size_t JsonObject::size() const
{
    return m_members.size();
}
inline bool JsonObject::empty() const
{
    return m_members.empty();
}
inline JsonObject::const_iterator JsonObject::begin() const
{
    return m_members.begin();
}
inline JsonObject::const_iterator JsonObject::end() const
{
    return m_members.end();
}

} // namespace waterline

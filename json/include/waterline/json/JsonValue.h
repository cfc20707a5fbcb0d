// A JSON value: one of the six kinds a JSON text can hold.
//
// Values are built from literals (`JsonValue v = 42;`, `"text"`, `true`, `nullptr`) and
// from containers written in place, and stay changeable, parsed or not:
//
//   JsonValue doc = JsonObject{{"name", "tide"}, {"levels", JsonArray{1, 2.5, nullptr}}};
//   doc["levels"].asArray().push_back(3);
//   doc["name"] = "ebb";
//
// Typed access (asString(), asObject(), ...) throws JsonTypeError naming both kinds when
// the value is of another kind; find() and the is...() queries never throw. Strings are
// UTF-8, read as std::string_view and replaced as a whole. Numbers are exact decimals
// (JsonNumber); booleans are a kind of their own and never compare equal to numbers.
//
// A value is 24 bytes. A parsed document keeps its memory in an arena (JsonArena.h);
// copying a value, or any part of a document, makes a deep copy on the heap, and moving
// a part out keeps what it needs alive, so no value ever refers to freed memory.
#pragma once

#include <waterline/json/JsonArray.h>
#include <waterline/json/JsonNumber.h>
#include <waterline/json/JsonObject.h>
#include <waterline/json/JsonString.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace waterline {

enum class JsonKind : std::uint8_t { Null, Boolean, Number, String, Array, Object };

std::string_view toString(JsonKind);

// Thrown by typed access to a value of another kind: a programming error.
class JsonTypeError : public std::logic_error {
public:
    JsonTypeError(JsonKind actual, JsonKind wanted);
};

class JsonValue {
public:
    JsonValue() noexcept
        : m_kind(JsonKind::Null)
    {
    }
    JsonValue(std::nullptr_t) noexcept
        : JsonValue()
    {
    }
    JsonValue(bool value) noexcept
        : m_bool(value)
        , m_kind(JsonKind::Boolean)
    {
    }
    template <typename Integer>
    requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>) JsonValue(Integer value)
        : JsonValue(JsonNumber(value))
    {
    }
    JsonValue(double value)
        : JsonValue(JsonNumber(value))
    {
    }
    JsonValue(JsonNumber value)
        : m_number(std::move(value))
        , m_kind(JsonKind::Number)
    {
    }
    JsonValue(JsonString text)
        : m_string(std::move(text))
        , m_kind(JsonKind::String)
    {
    }
    JsonValue(const char* text)
        : JsonValue(JsonString(text))
    {
    }
    JsonValue(std::string_view text)
        : JsonValue(JsonString(text))
    {
    }
    JsonValue(const std::string& text)
        : JsonValue(JsonString(text))
    {
    }
    JsonValue(JsonArray array) noexcept
        : m_array(std::move(array))
        , m_kind(JsonKind::Array)
    {
    }
    JsonValue(JsonObject object) noexcept
        : m_object(std::move(object))
        , m_kind(JsonKind::Object)
    {
    }

    JsonValue(const JsonValue& other);
    JsonValue(JsonValue&& other);
    JsonValue& operator=(const JsonValue& other);
    JsonValue& operator=(JsonValue&& other);
    ~JsonValue() { destroy(); }

    JsonKind kind() const noexcept { return m_kind; }
    bool isNull() const noexcept { return kind() == JsonKind::Null; }
    bool isBool() const noexcept { return kind() == JsonKind::Boolean; }
    bool isNumber() const noexcept { return kind() == JsonKind::Number; }
    bool isString() const noexcept { return kind() == JsonKind::String; }
    bool isArray() const noexcept { return kind() == JsonKind::Array; }
    bool isObject() const noexcept { return kind() == JsonKind::Object; }
    // Objects and arrays: what a JSON document (rather than a fragment) holds at its top.
    bool isContainer() const noexcept { return isArray() || isObject(); }

    bool asBool() const { return expect(JsonKind::Boolean), m_bool; }
    const JsonNumber& asNumber() const { return expect(JsonKind::Number), m_number; }
    std::string_view asString() const { return expect(JsonKind::String), m_string.view(); }
    const JsonString& asJsonString() const { return expect(JsonKind::String), m_string; }
    const JsonArray& asArray() const { return expect(JsonKind::Array), m_array; }
    JsonArray& asArray() { return expect(JsonKind::Array), m_array; }
    const JsonObject& asObject() const { return expect(JsonKind::Object), m_object; }
    JsonObject& asObject() { return expect(JsonKind::Object), m_object; }

    // Element of an array (std::out_of_range past its end) or member of an object
    // (std::out_of_range when absent); JsonTypeError on other kinds.
    const JsonValue& operator[](std::size_t index) const { return asArray().at(index); }
    JsonValue& operator[](std::size_t index) { return asArray().at(index); }
    const JsonValue& operator[](std::string_view key) const { return asObject().at(key); }
    // Member of an object, inserting null under an absent key.
    JsonValue& operator[](std::string_view key) { return asObject()[key]; }
    // Member of an object; nullptr when absent or when this is not an object.
    const JsonValue* find(std::string_view key) const { return isObject() ? m_object.find(key) : nullptr; }

    friend bool operator==(const JsonValue& a, const JsonValue& b);

private:
    template <typename Blocks> friend class detail::JsonScanner;
    friend class JsonObject;
    friend class JsonArray;

    struct Relocated {};
    // Takes the bits of `other`, leaving it null: for values that stay in one document.
    JsonValue(Relocated, JsonValue& other) noexcept
    {
        std::memcpy(static_cast<void*>(this), &other, sizeof(JsonValue));
        other.m_kind = JsonKind::Null;
    }

    void expect(JsonKind wanted) const
    {
        if (m_kind != wanted)
            throw JsonTypeError(m_kind, wanted);
    }
    void destroy() noexcept;
    template <typename Source> void constructFrom(Source&& other);

    union {
        bool m_bool;
        JsonNumber m_number;
        JsonString m_string;
        JsonArray m_array;
        JsonObject m_object;
    };
    JsonKind m_kind;
};

struct JsonMember {
    JsonString key;
    JsonValue value;

    friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

inline const JsonValue* JsonArray::begin() const noexcept
{
    return m_elements.data();
}
inline const JsonValue* JsonArray::end() const noexcept
{
    return m_elements.data() + m_elements.size();
}
inline JsonValue* JsonArray::begin()
{
    m_elements.noteMutableAccess();
    return m_elements.data();
}
inline JsonValue* JsonArray::end()
{
    return m_elements.data() + m_elements.size();
}
inline const JsonValue& JsonArray::operator[](std::size_t index) const noexcept
{
    return m_elements.data()[index];
}
inline JsonValue& JsonArray::operator[](std::size_t index)
{
    m_elements.noteMutableAccess();
    return m_elements.data()[index];
}
inline void JsonArray::push_back(JsonValue value)
{
    emplace_back(std::move(value));
}
template <typename... Args> JsonValue& JsonArray::emplace_back(Args&&... args)
{
    m_elements.noteMutableAccess();
    // Made first: the arguments may refer to an element that growing would move.
    JsonValue value(std::forward<Args>(args)...);
    JsonValue* slot = new (m_elements.endWithRoomForOne()) JsonValue(JsonValue::Relocated{}, value);
    m_elements.grewByOne();
    return *slot;
}

inline const JsonMember* JsonObject::begin() const noexcept
{
    return m_members.data();
}
inline const JsonMember* JsonObject::end() const noexcept
{
    return m_members.data() + m_members.size();
}

} // namespace waterline

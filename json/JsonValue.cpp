// Kind names, the typed-access error, and the life cycle of JsonValue.
#include <waterline/json/JsonValue.h>

#include <cstring>

namespace waterline {

std::string_view toString(JsonKind kind)
{
    switch (kind) {
    case JsonKind::Null:
        return "null";
    case JsonKind::Boolean:
        return "boolean";
    case JsonKind::Number:
        return "number";
    case JsonKind::String:
        return "string";
    case JsonKind::Array:
        return "array";
    case JsonKind::Object:
        return "object";
    }
    return "unknown";
}

namespace {

std::string article(JsonKind kind)
{
    std::string_view name = toString(kind);
    if (kind == JsonKind::Null)
        return std::string(name);
    bool vowel = name[0] == 'a' || name[0] == 'o';
    return std::string(vowel ? "an " : "a ") + std::string(name);
}

} // namespace

JsonTypeError::JsonTypeError(JsonKind actual, JsonKind wanted)
    : std::logic_error("JSON value is " + article(actual) + ", not " + article(wanted))
{
}

JsonValue::JsonValue(const JsonValue& other)
    : m_kind(JsonKind::Null)
{
    constructFrom(other);
}

JsonValue::JsonValue(JsonValue&& other)
    : m_kind(JsonKind::Null)
{
    constructFrom(std::move(other));
}

// Copies are deep; in moves, text in a document's arena is copied and containers keep
// the arena alive (see CompactText.h and ElementStore.h), the rest moves as it is.
template <typename Source> void JsonValue::constructFrom(Source&& other)
{
    switch (other.m_kind) {
    case JsonKind::Null:
        break;
    case JsonKind::Boolean:
        m_bool = other.m_bool;
        break;
    case JsonKind::Number:
        new (&m_number) JsonNumber(std::forward<Source>(other).m_number);
        break;
    case JsonKind::String:
        new (&m_string) JsonString(std::forward<Source>(other).m_string);
        break;
    case JsonKind::Array:
        new (&m_array) JsonArray(std::forward<Source>(other).m_array);
        break;
    case JsonKind::Object:
        new (&m_object) JsonObject(std::forward<Source>(other).m_object);
        break;
    }
    m_kind = other.m_kind;
}

JsonValue& JsonValue::operator=(const JsonValue& other)
{
    if (this != &other)
        *this = JsonValue(other);
    return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other)
{
    if (this == &other)
        return *this;
    // Taken out first: `other` may live inside this value (v = std::move(v["child"])).
    JsonValue taken(std::move(other));
    destroy();
    new (this) JsonValue(Relocated{}, taken);
    return *this;
}

void JsonValue::destroy() noexcept
{
    switch (m_kind) {
    case JsonKind::Null:
    case JsonKind::Boolean:
        break;
    case JsonKind::Number:
        m_number.~JsonNumber();
        break;
    case JsonKind::String:
        m_string.~JsonString();
        break;
    case JsonKind::Array:
        m_array.~JsonArray();
        break;
    case JsonKind::Object:
        m_object.~JsonObject();
        break;
    }
    m_kind = JsonKind::Null;
}

bool operator==(const JsonValue& a, const JsonValue& b)
{
    if (a.m_kind != b.m_kind)
        return false;
    switch (a.m_kind) {
    case JsonKind::Null:
        return true;
    case JsonKind::Boolean:
        return a.m_bool == b.m_bool;
    case JsonKind::Number:
        return a.m_number == b.m_number;
    case JsonKind::String:
        return a.m_string == b.m_string;
    case JsonKind::Array:
        return a.m_array == b.m_array;
    case JsonKind::Object:
        return a.m_object == b.m_object;
    }
    return false;
}

} // namespace waterline

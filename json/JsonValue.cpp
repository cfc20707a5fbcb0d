// Kind names and the typed-access error of JsonValue.
#include <waterline/json/JsonValue.h>

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

} // namespace waterline

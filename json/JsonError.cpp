// Names of the JSON error codes, for logs and test failure messages.
#include <waterline/json/JsonError.h>

namespace waterline {

std::string_view toString(JsonErrorCode code)
{
    switch (code) {
    case JsonErrorCode::UnsupportedValue:
        return "UnsupportedValue";
    case JsonErrorCode::MalformedNumber:
        return "MalformedNumber";
    case JsonErrorCode::UnexpectedToken:
        return "UnexpectedToken";
    case JsonErrorCode::NotAContainer:
        return "NotAContainer";
    case JsonErrorCode::ControlCharacter:
        return "ControlCharacter";
    case JsonErrorCode::BadUnicodeEscape:
        return "BadUnicodeEscape";
    case JsonErrorCode::NestedTooDeep:
        return "NestedTooDeep";
    case JsonErrorCode::IllegalEscape:
        return "IllegalEscape";
    case JsonErrorCode::TrailingComma:
        return "TrailingComma";
    case JsonErrorCode::GarbageAfterValue:
        return "GarbageAfterValue";
    case JsonErrorCode::UnexpectedEnd:
        return "UnexpectedEnd";
    case JsonErrorCode::NoInput:
        return "NoInput";
    }
    return "Unknown";
}

} // namespace waterline

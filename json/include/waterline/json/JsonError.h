// The error record of the JSON reader and writer.
//
// A failed parse or write leaves a chain of these records: each one carries a code, the
// system's own message text, and the record added just before it in the same call as its
// underlying error, so the last record describes the outermost context and its chain
// leads back to the innermost cause. json/ depends on no other project library, so it
// keeps this small record of its own instead of the foundation's general one.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace waterline {

inline constexpr std::string_view kJsonErrorDomain = "org.skaldrin.JSON.ErrorDomain";

enum class JsonErrorCode : unsigned {
    UnsupportedValue = 1, // the writer cannot write this value
    MalformedNumber = 2,
    UnexpectedToken = 3,
    NotAContainer = 4,    // a value where an object or array is required
    ControlCharacter = 5, // a raw control byte inside a string
    BadUnicodeEscape = 6,
    NestedTooDeep = 7,
    IllegalEscape = 8,
    TrailingComma = 9,
    GarbageAfterValue = 10,
    UnexpectedEnd = 11,
    NoInput = 12,
};

std::string_view toString(JsonErrorCode);

class JsonError {
public:
    JsonError(JsonErrorCode code, std::string description, std::shared_ptr<const JsonError> underlying)
        : m_code(code)
        , m_description(std::move(description))
        , m_underlying(std::move(underlying))
    {
    }

    std::string_view domain() const { return kJsonErrorDomain; }
    unsigned code() const { return static_cast<unsigned>(m_code); }
    JsonErrorCode errorCode() const { return m_code; }
    const std::string& description() const { return m_description; }
    // The record added just before this one in the same trace; empty for the first.
    const std::shared_ptr<const JsonError>& underlying() const { return m_underlying; }

private:
    JsonErrorCode m_code;
    std::string m_description;
    std::shared_ptr<const JsonError> m_underlying;
};

// The records of one failed call, oldest (innermost) first.
using JsonErrorTrace = std::vector<std::shared_ptr<const JsonError>>;

} // namespace waterline

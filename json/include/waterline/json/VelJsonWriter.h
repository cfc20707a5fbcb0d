// Turns a JsonValue tree into JSON text.
//
// Compact output has no whitespace at all; human-readable output puts every element and
// member on its own line, indented two spaces per level, with " : " between key and
// value and no line feed after the last bracket. Object members come in the object's
// own (insertion) order, or sorted by key when sortKeys is set: by UTF-16 code units,
// which for keys without characters beyond U+FFFF is plain byte order, locale-free, a
// key sorting before its own extensions. Numbers are written in their canonical
// decimal form (see JsonNumber.h). Strings escape only what JSON requires: the double
// quote, the backslash and U+0000 to U+001F (as \b \t \n \f \r or \u00xx in lower
// case); '/', U+007F and all non-ASCII characters are written as they are.
//
// A string (or key) that is not well-formed UTF-8 cannot be written as JSON text: the
// write fails with code 1, every enclosing object adding a record naming its key.
#pragma once

#include <waterline/json/JsonValue.h>
#include <waterline/json/VelJsonBase.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace waterline {

namespace detail {
class TextBuffer;
}

class VelJsonWriter : public VelJsonBase {
public:
    // An object or an array; none (error 4) for other kinds.
    std::optional<std::string> stringWithObject(const JsonValue& value);
    // A value of any kind.
    std::optional<std::string> stringWithFragment(const JsonValue& value);

    bool humanReadable() const { return m_humanReadable.load(std::memory_order_relaxed); }
    void setHumanReadable(bool on) { m_humanReadable.store(on, std::memory_order_relaxed); }
    bool sortKeys() const { return m_sortKeys.load(std::memory_order_relaxed); }
    void setSortKeys(bool on) { m_sortKeys.store(on, std::memory_order_relaxed); }

private:
    bool appendValue(const JsonValue& value, detail::TextBuffer& into);
    void appendNumber(const JsonNumber& number, detail::TextBuffer& into);
    bool appendArray(const JsonArray& array, detail::TextBuffer& into);
    bool appendDictionary(const JsonObject& object, detail::TextBuffer& into);
    // False, adding nothing to the trace, when the text is not well-formed UTF-8.
    bool appendString(std::string_view text, detail::TextBuffer& into);
    // A line feed and two spaces per open container.
    void appendIndent(detail::TextBuffer& into) const;

    std::atomic<bool> m_sortKeys{false};
    std::atomic<bool> m_humanReadable{false};
    std::uint32_t depth = 0; // arrays and objects open at the write position
};

} // namespace waterline

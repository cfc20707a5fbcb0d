// Turns a JsonValue tree into JSON text.
//
//   VelJsonWriter writer;
//   writer.setHumanReadable(true);
//   writer.setSortKeys(true);
//   JsonValue doc = JsonObject{{"name", "tide"}, {"levels", JsonArray{1, 2.5}}};
//   std::optional<std::string> text = writer.stringWithObject(doc);   // none: see errorTrace()
//   std::optional<std::string> scalar = writer.stringWithFragment("a \"quoted\" word");
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
//
// The nesting depth belongs to one call: it lives in the emitter that the call makes
// (VelJsonWriter.cpp), not in the writer.
#pragma once

#include <waterline/json/JsonValue.h>
#include <waterline/json/VelJsonBase.h>

#include <atomic>
#include <optional>
#include <string>

namespace waterline {

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
    std::atomic<bool> m_sortKeys{false};
    std::atomic<bool> m_humanReadable{false};
};

} // namespace waterline

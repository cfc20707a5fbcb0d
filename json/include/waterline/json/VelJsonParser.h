// Turns JSON text into a JsonValue tree.
//
//   VelJsonParser parser;
//   parser.setMaxDepth(64);
//   if (std::optional<JsonValue> doc = parser.objectWithString(R"({"tide": [1, 2.5]})"))
//       use((*doc)["tide"][1].asNumber());
//   else
//       for (const auto& error : *parser.errorTrace()) // innermost reason first
//           log(error->code(), error->description());
//
// A recursive-descent scanner walks one cursor over the NUL-terminated UTF-8 bytes in
// place; text after a NUL is never looked at. It is strict about numbers (no leading '+'
// or '0'), trailing commas and text after the value, and lenient in one respect: the
// comma between array elements or object members may be left out. Every failure leaves
// a chain of coded records in errorTrace(), innermost first.
//
// Nesting is limited by maxDepth() (0: no limit of the caller's own). Whatever the limit,
// the scanner refuses to nest deeper than kNestingGuard containers, with the same error
// "Nested too deep", because each level costs call stack. Bytes inside a string that are
// not well-formed UTF-8 are each replaced (per maximal broken sequence) by U+FFFD, so the
// tree only ever holds valid UTF-8.
//
// The tree of a document (an object or an array at the top) lives in one arena that the
// returned value owns (JsonArena.h): parsing allocates a few blocks, not one per value.
// Long runs are scanned with the vector instructions the CPU has, chosen at run time.
//
// The cursor and the nesting depth belong to one call: they live in the scanner that
// the call makes (VelJsonParser.cpp), not in the parser.
#pragma once

#include <waterline/json/JsonValue.h>
#include <waterline/json/VelJsonBase.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace waterline {

class VelJsonParser : public VelJsonBase {
public:
    static constexpr std::uint32_t kNestingGuard = 2048;

    // Any kind of value; none on failure or when `text` is nullptr.
    std::optional<JsonValue> fragmentWithString(const char* text);
    // The same; the string's size spares a search for its end (a NUL inside still ends it).
    std::optional<JsonValue> fragmentWithString(const std::string& text);
    // An object or an array; none on failure, or for another kind of value.
    std::optional<JsonValue> objectWithString(const char* text);
    std::optional<JsonValue> objectWithString(const std::string& text);

    std::uint32_t maxDepth() const { return m_maxDepth.load(std::memory_order_relaxed); }
    void setMaxDepth(std::uint32_t limit) { m_maxDepth.store(limit, std::memory_order_relaxed); }

private:
    // `text` has a NUL at `text[length]`, and maybe one before.
    std::optional<JsonValue> fragmentWithText(const char* text, std::size_t length);
    std::optional<JsonValue> onlyContainer(std::optional<JsonValue> value);

    std::atomic<std::uint32_t> m_maxDepth{0};
};

} // namespace waterline

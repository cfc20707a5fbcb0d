// Turns JSON text into a JsonValue tree.
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
#pragma once

#include <waterline/json/JsonValue.h>
#include <waterline/json/VelJsonBase.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class VelJsonParser : public VelJsonBase {
public:
    static constexpr std::uint32_t kNestingGuard = 2048;

    // Any kind of value; none on failure or when `text` is nullptr.
    std::optional<JsonValue> fragmentWithString(const char* text);
    std::optional<JsonValue> fragmentWithString(const std::string& text) { return fragmentWithString(text.c_str()); }
    // An object or an array; none on failure, or for another kind of value.
    std::optional<JsonValue> objectWithString(const char* text);
    std::optional<JsonValue> objectWithString(const std::string& text) { return objectWithString(text.c_str()); }

    std::uint32_t maxDepth() const { return m_maxDepth.load(std::memory_order_relaxed); }
    void setMaxDepth(std::uint32_t limit) { m_maxDepth.store(limit, std::memory_order_relaxed); }

private:
    // Each scanner is entered with the cursor after the character that chose it and
    // returns false after adding its reasons to the trace.
    bool scanValue(JsonValue& out);
    bool scanRestOfTrue(JsonValue& out);
    bool scanRestOfFalse(JsonValue& out);
    bool scanRestOfNull(JsonValue& out);
    bool scanRestOfArray(JsonValue& out);
    bool scanRestOfDictionary(JsonValue& out);
    // Kept out of line: inlined, their locals would swell every level of the recursion.
    [[gnu::noinline]] bool scanRestOfString(std::string& out);
    bool scanUnicodeChar(std::uint32_t& out);
    bool scanHexQuad(std::uint16_t& out);
    [[gnu::noinline]] bool scanNumber(JsonValue& out);
    bool scanIsAtEnd();

    // Helpers kept out of line so the recursion's frames stay small.
    [[gnu::noinline]] bool scanStringValue(JsonValue& out);
    [[gnu::always_inline]] inline bool opensContainer();
    // The next array element or member value, scanned onto the element or member stack.
    bool scanElement();
    bool scanMemberValue(std::size_t member);
    [[gnu::noinline]] void closeArray(std::size_t first, JsonValue& out);
    [[gnu::noinline]] void closeObject(std::size_t first, JsonValue& out);
    [[gnu::noinline]] bool failForKey(const std::string& key);
    bool enterContainer();
    [[gnu::always_inline]] inline bool skipSeparator(char closing, const char* trailingCommaMessage);
    [[gnu::always_inline]] inline void skipWhitespace();
    [[gnu::always_inline]] inline void skipSpaceRun();
    // Steps over eight-byte blocks of plain string bytes while whole blocks remain, and on
    // to the first special byte of the block that holds one.
    [[gnu::always_inline]] inline void skipPlainBlocks();
    [[gnu::noinline]] bool fail(JsonErrorCode code, std::string description);

    const char* c = nullptr;     // the cursor
    const char* m_end = nullptr; // the terminating NUL: whole 8-byte blocks before it may be read at once
    std::uint32_t depth = 0;     // arrays and objects open at the cursor
    std::atomic<std::uint32_t> m_maxDepth{0};
    // Elements and members of the containers open at the cursor, gathered here so that
    // each container is allocated once, at its exact size, when it closes.
    std::vector<JsonValue> m_elementStack;
    std::vector<JsonMember> m_memberStack;
};

} // namespace waterline

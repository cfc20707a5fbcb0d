// The recursive-descent JSON scanner.
//
// A parse lays the whole tree into one arena (JsonArena.h): elements and members are
// gathered on two stacks while their container is open and copied into the arena, at
// their exact count, when it closes; strings and numbers longer than the inline room of
// a value are copied there too. The scanner is a template over the block scanning
// (ScanBlocks.h), instantiated once per scan level and chosen when a parse starts.
#include <waterline/json/VelJsonParser.h>

#include "DecimalText.h"
#include "PlainAscii.h"
#include "ScanBlocks.h"
#include "ScanLevel.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace waterline {

namespace {

// Whitespace between tokens: tab, line feed, vertical tab, form feed, carriage return
// and space.
constexpr std::array<bool, 256> kWhitespace = [] {
    std::array<bool, 256> table{};
    for (unsigned char ch : {9, 10, 11, 12, 13, 32})
        table[ch] = true;
    return table;
}();

// Bytes that may be copied as they stand inside a string: ASCII outside the stop set
// (the double quote, the backslash and the bytes 0 to 31, NUL included).
constexpr std::array<bool, 256> kPlainStringByte = [] {
    std::array<bool, 256> table{};
    for (int ch = 32; ch < 128; ++ch)
        table[static_cast<std::size_t>(ch)] = ch != '"' && ch != '\\';
    return table;
}();

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

std::string hexMessage(const char* format, unsigned value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

int hexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

} // namespace

namespace detail {

// A growing stack of values that are moved bit for bit and never destroyed one by one:
// everything a parse builds lives in its arena and owns nothing else.
template <typename T> class RawStack {
public:
    RawStack() = default;
    RawStack(const RawStack&) = delete;
    RawStack& operator=(const RawStack&) = delete;
    ~RawStack() { std::free(m_data); }

    std::size_t size() const { return m_size; }
    T* at(std::size_t index) { return m_data + index; }
    // A new slot holding a default-made T.
    T* push()
    {
        if (m_size == m_capacity)
            grow();
        return new (m_data + m_size++) T();
    }
    void truncate(std::size_t size) { m_size = size; }

private:
    void grow()
    {
        std::size_t capacity = m_capacity < 64 ? 64 : m_capacity * 2;
        void* data = std::realloc(static_cast<void*>(m_data), capacity * sizeof(T));
        if (!data)
            throw std::bad_alloc();
        m_data = static_cast<T*>(data);
        m_capacity = capacity;
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// One parse: the cursor, the nesting depth and the scanners that move them. It lives on
// the stack of the call that makes it, so the parser keeps nothing of a parse between
// calls but the error trace. Each scanner is entered with the cursor after the character
// that chose it and returns false after adding its reasons to the trace. Values are
// built in slots that hold null, never assigned over.
template <typename Blocks> class JsonScanner {
public:
    JsonScanner(VelJsonBase& trace, const char* text, std::size_t length, JsonArena& arena, std::uint32_t maxDepth)
        : c(text)
        , m_end(text + length)
        , m_depthLimit(maxDepth == 0 || maxDepth > VelJsonParser::kNestingGuard ? VelJsonParser::kNestingGuard
                                                                                : maxDepth)
        , m_arena(arena)
        , m_trace(trace)
    {
    }

    bool scanValue(JsonValue& out);
    bool scanIsAtEnd();
    // Hands the arena's first reference to a parsed container at the top.
    static void holdArena(JsonValue& root);

private:
    bool scanRestOfTrue(JsonValue& out);
    bool scanRestOfFalse(JsonValue& out);
    bool scanRestOfNull(JsonValue& out);
    bool scanRestOfArray(JsonValue& out);
    bool scanRestOfDictionary(JsonValue& out);
    // Kept out of line: inlined, their locals would swell every level of the recursion.
    [[gnu::noinline]] bool scanRestOfString(JsonString& out);
    [[gnu::noinline]] bool scanEscapedRest(const char* start, JsonString& out);
    [[gnu::always_inline]] inline void skipWellFormedRun();
    bool scanUnicodeChar(std::uint32_t& out);
    bool scanHexQuad(std::uint16_t& out);
    [[gnu::noinline]] bool scanNumber(JsonValue& out);

    // Helpers kept out of line so the recursion's frames stay small.
    [[gnu::noinline]] bool scanStringValue(JsonValue& out);
    [[gnu::always_inline]] inline bool opensContainer();
    // The next array element or member value, scanned onto the element or member stack.
    bool scanElement();
    bool scanMemberValue(std::size_t member);
    [[gnu::noinline]] void closeArray(std::size_t first, JsonValue& out);
    [[gnu::noinline]] void closeObject(std::size_t first, JsonValue& out);
    [[gnu::noinline]] bool failForKey(std::string_view key);
    bool enterContainer();
    [[gnu::always_inline]] inline bool skipSeparator(char closing, const char* trailingCommaMessage);
    [[gnu::always_inline]] inline void skipWhitespace();
    // Text from the input, inline or copied into the arena.
    [[gnu::always_inline]] inline void setText(detail::CompactText& out, const char* text, std::size_t size);
    [[gnu::noinline]] bool fail(JsonErrorCode code, std::string description);

    const char* c;                    // the cursor
    const char* m_end;                // the terminating NUL: whole blocks before it may be read at once
    std::uint32_t depth = 0;          // arrays and objects open at the cursor
    const std::uint32_t m_depthLimit; // maxDepth, or the guard when that is 0 or above it
    JsonArena& m_arena;
    VelJsonBase& m_trace;
    // Elements and members of the containers open at the cursor, gathered here so that
    // each container is laid into the arena once, at its exact size, when it closes.
    RawStack<JsonValue> m_elementStack;
    RawStack<JsonMember> m_memberStack;
    std::string m_scratch; // the decoded text of a string with escapes
};

} // namespace detail

namespace {

// Block size of a document's arena: half the text, so that a document takes a few
// blocks and at most one is left partly unused.
std::size_t arenaBlockBytes(std::size_t textLength)
{
    constexpr std::size_t kLargestBlock = std::size_t{64} << 20;
    return std::min(textLength / 4, kLargestBlock);
}

// The scanner stops at the first NUL by itself; `length` (up to the last NUL) only
// bounds the blocks it reads at once.
template <typename Blocks>
std::optional<JsonValue> parseWith(VelJsonBase& trace, const char* text, std::size_t length, std::uint32_t maxDepth)
{
    JsonArena* arena = JsonArena::create(arenaBlockBytes(length));
    std::optional<JsonValue> result;
    try {
        detail::JsonScanner<Blocks> scanner(trace, text, length, *arena, maxDepth);
        JsonValue value;
        if (!scanner.scanValue(value)) {
            // Nothing built owns memory outside the arena.
        } else if (!scanner.scanIsAtEnd()) {
            trace.addErrorWithCode(JsonErrorCode::GarbageAfterValue, "Garbage after JSON");
        } else if (value.isContainer()) {
            detail::JsonScanner<Blocks>::holdArena(value); // the document keeps its arena
            return value;
        } else {
            result.emplace(std::move(value)); // a scalar owns its text
        }
    } catch (...) {
        arena->release();
        throw;
    }
    arena->release();
    return result;
}

} // namespace

std::optional<JsonValue> VelJsonParser::fragmentWithString(const char* text)
{
    return fragmentWithText(text, text ? std::strlen(text) : 0);
}

std::optional<JsonValue> VelJsonParser::fragmentWithString(const std::string& text)
{
    return fragmentWithText(text.c_str(), text.size());
}

std::optional<JsonValue> VelJsonParser::fragmentWithText(const char* text, std::size_t length)
{
    clearErrorTrace();
    if (!text) {
        addErrorWithCode(JsonErrorCode::NoInput, "Input was 'nil'");
        return std::nullopt;
    }
    switch (detail::activeJsonScanLevel()) {
#if defined(__x86_64__)
    case detail::JsonScanLevel::AVX2:
        return parseWith<detail::Avx2Blocks>(*this, text, length, maxDepth());
    case detail::JsonScanLevel::SSE2:
        return parseWith<detail::Sse2Blocks>(*this, text, length, maxDepth());
#endif
    default:
        return parseWith<detail::ScalarBlocks>(*this, text, length, maxDepth());
    }
}

std::optional<JsonValue> VelJsonParser::objectWithString(const char* text)
{
    return onlyContainer(fragmentWithString(text));
}

std::optional<JsonValue> VelJsonParser::objectWithString(const std::string& text)
{
    return onlyContainer(fragmentWithString(text));
}

std::optional<JsonValue> VelJsonParser::onlyContainer(std::optional<JsonValue> value)
{
    if (value && !value->isContainer()) {
        addErrorWithCode(JsonErrorCode::NotAContainer, "Valid fragment, but not JSON");
        return std::nullopt;
    }
    return value;
}

namespace detail {

#define SCANNER_METHOD(type) template <typename Blocks> type JsonScanner<Blocks>

SCANNER_METHOD(void)::holdArena(JsonValue& root)
{
    if (root.isArray())
        root.m_array.m_elements.takeArenaReference();
    else
        root.m_object.m_members.takeArenaReference();
}

SCANNER_METHOD(bool)::fail(JsonErrorCode code, std::string description)
{
    m_trace.addErrorWithCode(code, std::move(description));
    return false;
}

SCANNER_METHOD(void)::skipWhitespace()
{
    if (static_cast<unsigned char>(*c) > ' ')
        return;                                                // the common case: no whitespace at all
    if (*c == ' ' && static_cast<unsigned char>(c[1]) > ' ') { // the next: one space, as after a colon
        ++c;
        return;
    }
    // Indented text has a run of spaces after each line feed.
    while (static_cast<unsigned char>(*c) <= ' ' && kWhitespace[static_cast<unsigned char>(*c)]) {
        ++c;
        c = Blocks::spaceEnd(c, m_end);
    }
}

SCANNER_METHOD(bool)::scanIsAtEnd()
{
    skipWhitespace();
    return *c == '\0';
}

SCANNER_METHOD(bool)::scanValue(JsonValue& out)
{
    skipWhitespace();
    char ch = *c++;
    switch (ch) {
    case '"':
        return scanStringValue(out);
    case '[':
        return scanRestOfArray(out);
    case '{':
        return scanRestOfDictionary(out);
    case 't':
        return scanRestOfTrue(out);
    case 'f':
        return scanRestOfFalse(out);
    case 'n':
        return scanRestOfNull(out);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        --c;
        return scanNumber(out);
    case '+':
        return fail(JsonErrorCode::MalformedNumber, "Leading + disallowed in number");
    case '\0':
        return fail(JsonErrorCode::UnexpectedEnd, "Unexpected end of string");
    default:
        return fail(JsonErrorCode::UnexpectedToken, "Unrecognised leading character");
    }
}

// The literal scanners compare byte by byte and stop at the first difference, so they
// never look past a NUL.
SCANNER_METHOD(bool)::scanRestOfTrue(JsonValue& out)
{
    if (c[0] == 'r' && c[1] == 'u' && c[2] == 'e') {
        c += 3;
        out.m_bool = true;
        out.m_kind = JsonKind::Boolean;
        return true;
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'true'");
}

SCANNER_METHOD(bool)::scanRestOfFalse(JsonValue& out)
{
    if (c[0] == 'a' && c[1] == 'l' && c[2] == 's' && c[3] == 'e') {
        c += 4;
        out.m_bool = false;
        out.m_kind = JsonKind::Boolean;
        return true;
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'false'");
}

SCANNER_METHOD(bool)::scanRestOfNull(JsonValue&)
{
    if (c[0] == 'u' && c[1] == 'l' && c[2] == 'l') {
        c += 3;
        return true; // the slot holds null already
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'null'");
}

SCANNER_METHOD(bool)::enterContainer()
{
    if (++depth > m_depthLimit)
        return fail(JsonErrorCode::NestedTooDeep, "Nested too deep");
    return true;
}

// After an element or member: anything but a comma starts the next one, as the comma is
// optional, but a comma right before the closing bracket is refused.
SCANNER_METHOD(bool)::skipSeparator(char closing, const char* trailingCommaMessage)
{
    skipWhitespace();
    if (*c != ',')
        return true;
    ++c;
    skipWhitespace();
    if (*c == closing)
        return fail(JsonErrorCode::TrailingComma, trailingCommaMessage);
    return true;
}

SCANNER_METHOD(bool)::scanRestOfArray(JsonValue& out)
{
    if (!enterContainer())
        return false;
    const std::size_t first = m_elementStack.size();
    for (;;) {
        if (*c == '\0')
            return fail(JsonErrorCode::UnexpectedEnd, "End of input while parsing array");
        skipWhitespace();
        if (*c == ']') {
            ++c;
            --depth;
            closeArray(first, out);
            return true;
        }
        if (!scanElement())
            return fail(JsonErrorCode::UnexpectedToken, "Expected value while parsing array");
        if (!skipSeparator(']', "Trailing comma disallowed in array"))
            return false;
    }
}

SCANNER_METHOD(bool)::scanRestOfDictionary(JsonValue& out)
{
    if (!enterContainer())
        return false;
    const std::size_t first = m_memberStack.size();
    for (;;) {
        if (*c == '\0')
            return fail(JsonErrorCode::UnexpectedEnd, "End of input while parsing object");
        skipWhitespace();
        if (*c == '}') {
            ++c;
            --depth;
            closeObject(first, out);
            return true;
        }
        if (*c != '"')
            return fail(JsonErrorCode::UnexpectedToken, "Object key string expected");
        ++c;
        // The member is made on the stack first so that the key needs no local of its own
        // in this frame; an index, as nested objects push members of their own.
        const std::size_t member = m_memberStack.size();
        m_memberStack.push();
        if (!scanRestOfString(m_memberStack.at(member)->key))
            return fail(JsonErrorCode::UnexpectedToken, "Object key string expected");
        skipWhitespace();
        if (*c != ':')
            return fail(JsonErrorCode::UnexpectedToken, "Expected ':' separating key and value");
        ++c;
        if (!scanMemberValue(member))
            return failForKey(m_memberStack.at(member)->key);
        if (!skipSeparator('}', "Trailing comma disallowed in object"))
            return false;
    }
}

SCANNER_METHOD(bool)::opensContainer()
{
    skipWhitespace();
    return *c == '[' || *c == '{';
}

// A scalar is scanned straight into its place on the stack. A container is scanned into
// a local first: the elements it gathers on the same stack may move the stack's storage.
SCANNER_METHOD(bool)::scanElement()
{
    if (!opensContainer())
        return scanValue(*m_elementStack.push());
    JsonValue element;
    if (!scanValue(element))
        return false;
    new (m_elementStack.push()) JsonValue(JsonValue::Relocated{}, element);
    return true;
}

SCANNER_METHOD(bool)::scanMemberValue(std::size_t member)
{
    if (!opensContainer())
        return scanValue(m_memberStack.at(member)->value);
    JsonValue value;
    if (!scanValue(value))
        return false;
    new (&m_memberStack.at(member)->value) JsonValue(JsonValue::Relocated{}, value);
    return true;
}

SCANNER_METHOD(bool)::scanStringValue(JsonValue& out)
{
    new (&out.m_string) JsonString();
    out.m_kind = JsonKind::String;
    return scanRestOfString(out.m_string);
}

SCANNER_METHOD(void)::closeArray(std::size_t first, JsonValue& out)
{
    new (&out.m_array) JsonArray();
    out.m_kind = JsonKind::Array;
    out.m_array.m_elements.adopt(m_arena, m_elementStack.at(first), m_elementStack.size() - first);
    m_elementStack.truncate(first);
}

SCANNER_METHOD(void)::closeObject(std::size_t first, JsonValue& out)
{
    new (&out.m_object) JsonObject();
    out.m_kind = JsonKind::Object;
    out.m_object.adoptParsed(m_arena, m_memberStack.at(first), m_memberStack.size() - first);
    m_memberStack.truncate(first);
}

SCANNER_METHOD(bool)::failForKey(std::string_view key)
{
    return fail(JsonErrorCode::UnexpectedToken, "Object value expected for key: " + std::string(key));
}

SCANNER_METHOD(void)::setText(detail::CompactText& out, const char* text, std::size_t size)
{
    // Short text from the input is moved as one sixteen-byte block while that much is
    // readable before the terminator.
    if (size <= detail::CompactText::kInlineCapacity && m_end + 1 - text >= 16)
        out.assignInlineFromWideBuffer(text, size);
    else if (size <= detail::CompactText::kInlineCapacity)
        out.assignBorrowed({text, size});
    else
        out.assignBorrowed(m_arena.copy({text, size}));
}

// Steps over plain bytes and well-formed UTF-8, stopping at an ASCII byte of the stop
// set (or NUL) or at the first byte of a malformed sequence.
SCANNER_METHOD(void)::skipWellFormedRun()
{
    for (;;) {
        c = Blocks::plainEnd(c, m_end);
        auto byte = static_cast<unsigned char>(*c);
        if (byte == '"')
            return; // the usual stop, tested before the table
        if (kPlainStringByte[byte]) {
            ++c; // only near the end of the input, past the last whole block
            continue;
        }
        if (byte < 0x80)
            return;
        int length = detail::utf8Sequence(reinterpret_cast<const unsigned char*>(c), SIZE_MAX);
        if (length <= 0)
            return;
        c += length;
    }
}

// The common string: plain bytes and well-formed UTF-8 up to the closing quote, taken
// from the input in one piece. Anything else goes on in scanEscapedRest.
SCANNER_METHOD(bool)::scanRestOfString(JsonString& out)
{
    const char* start = c;
    skipWellFormedRun();
    if (*c != '"')
        return scanEscapedRest(start, out);
    setText(out.m_text, start, static_cast<std::size_t>(c - start));
    ++c;
    return true;
}

// A string with escapes, raw control bytes or malformed UTF-8: decoded into the scratch
// buffer (the text up to the cursor being plain already), then copied into the arena.
SCANNER_METHOD(bool)::scanEscapedRest(const char* start, JsonString& result)
{
    std::string& out = m_scratch;
    out.assign(start, static_cast<std::size_t>(c - start));
    for (;;) {
        // The run up to the next byte of the stop set (or NUL); each malformed sequence in
        // it becomes one U+FFFD.
        const char* run = c;
        for (skipWellFormedRun(); static_cast<unsigned char>(*c) >= 0x80; skipWellFormedRun()) {
            int length = detail::utf8Sequence(reinterpret_cast<const unsigned char*>(c), SIZE_MAX);
            out.append(run, static_cast<std::size_t>(c - run));
            out.append(detail::kReplacementCharacter);
            c += -length;
            run = c;
        }
        out.append(run, static_cast<std::size_t>(c - run));

        auto byte = static_cast<unsigned char>(*c);
        if (byte == '"') {
            ++c;
            result.m_text.assignBorrowed(out.size() <= detail::CompactText::kInlineCapacity ? std::string_view(out)
                                                                                            : m_arena.copy(out));
            return true;
        }
        if (byte != '\\')
            return fail(JsonErrorCode::ControlCharacter, hexMessage("Unescaped control character '0x%x'", byte));
        char escape = *++c;
        switch (escape) {
        case '"':
        case '/':
        case '\\':
            out.push_back(escape);
            ++c;
            break;
        case 'b':
            out.push_back('\b');
            ++c;
            break;
        case 'f':
            out.push_back('\f');
            ++c;
            break;
        case 'n':
            out.push_back('\n');
            ++c;
            break;
        case 'r':
            out.push_back('\r');
            ++c;
            break;
        case 't':
            out.push_back('\t');
            ++c;
            break;
        case 'u': {
            ++c;
            std::uint32_t codePoint = 0;
            if (!scanUnicodeChar(codePoint))
                return fail(JsonErrorCode::BadUnicodeEscape, "Broken unicode character");
            detail::appendUtf8(out, codePoint);
            break;
        }
        default: {
            // The byte shows as a sign-extended 16-bit unit, so 0x80 and above read ff80...
            auto unit = static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<signed char>(escape)));
            return fail(JsonErrorCode::IllegalEscape, hexMessage("Illegal escape sequence '0x%x'", unit));
        }
        }
        if (*c == '\0')
            return fail(JsonErrorCode::UnexpectedEnd, "Unexpected EOF while parsing string");
    }
}

SCANNER_METHOD(bool)::scanHexQuad(std::uint16_t& out)
{
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = hexDigitValue(*c);
        if (digit < 0)
            return fail(JsonErrorCode::BadUnicodeEscape, "Missing hex digit in quad");
        value = value * 16 + static_cast<unsigned>(digit);
        ++c;
    }
    out = static_cast<std::uint16_t>(value);
    return true;
}

SCANNER_METHOD(bool)::scanUnicodeChar(std::uint32_t& out)
{
    std::uint16_t high = 0;
    if (!scanHexQuad(high))
        return fail(JsonErrorCode::BadUnicodeEscape, "Missing hex quad");
    if (high < 0xD800 || high >= 0xE000) {
        out = high;
        return true;
    }
    if (high >= 0xDC00)
        return fail(JsonErrorCode::BadUnicodeEscape, "Invalid high character in surrogate pair");
    std::uint16_t low = 0;
    if (*c != '\\' || *++c != 'u' || (++c, !scanHexQuad(low)))
        return fail(JsonErrorCode::BadUnicodeEscape, "Missing low character in surrogate pair");
    if (low < 0xDC00 || low > 0xDFFF)
        return fail(JsonErrorCode::BadUnicodeEscape, "Invalid low surrogate char");
    out = 0x10000 + (static_cast<std::uint32_t>(high - 0xD800) << 10) + (low - 0xDC00u);
    return true;
}

SCANNER_METHOD(bool)::scanNumber(JsonValue& out)
{
    const char* start = c;
    if (*c == '-')
        ++c;
    // Canonical text (see JsonNumber) is noticed on the way, so that writing it back
    // needs no second look: no leading "0." or "-0", no exponent, no trailing fraction
    // zero, not too many digits.
    bool canonical = true;
    bool hugeExponent = false;
    if (*c == '0') {
        ++c;
        if (isDigit(*c))
            return fail(JsonErrorCode::MalformedNumber, "Leading 0 disallowed in number");
        canonical = c - start == 1 && *c != '.';
    } else {
        if (!isDigit(*c))
            return fail(JsonErrorCode::MalformedNumber, "No digits after initial minus");
        c = Blocks::digitEnd(c + 1, m_end);
    }
    if (*c == '.') {
        ++c;
        if (!isDigit(*c))
            return fail(JsonErrorCode::MalformedNumber, "No digits after decimal point");
        c = Blocks::digitEnd(c + 1, m_end);
        canonical &= c[-1] != '0';
    } else {
        canonical &= c - start <= 22;
    }
    if (*c == 'e' || *c == 'E') {
        ++c;
        if (*c == '+' || *c == '-')
            ++c;
        if (!isDigit(*c))
            return fail(JsonErrorCode::MalformedNumber, "No digits after exponent");
        const char* exponentStart = c;
        c = Blocks::digitEnd(c + 1, m_end);
        canonical = false;
        hugeExponent = c - exponentStart >= 9;
    }
    std::string_view text(start, static_cast<std::size_t>(c - start));
    if ((hugeExponent || text.size() >= detail::kShortText) && !detail::exponentInRange(text))
        return fail(JsonErrorCode::MalformedNumber, "Failed creating decimal instance");
    new (&out.m_number) JsonNumber(JsonNumber::Unset{});
    out.m_number.setCanonical(canonical);
    setText(out.m_number.m_text, text.data(), text.size());
    out.m_kind = JsonKind::Number;
    return true;
}

#undef SCANNER_METHOD

} // namespace detail

} // namespace waterline

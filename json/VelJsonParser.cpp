// The recursive-descent JSON scanner.
#include <waterline/json/VelJsonParser.h>

#include "DecimalText.h"
#include "PlainAscii.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

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

// One parse: the cursor, the nesting depth and the scanners that move them. It lives on
// the stack of the call that makes it, so the parser keeps nothing of a parse between
// calls but the error trace. Each scanner is entered with the cursor after the character
// that chose it and returns false after adding its reasons to the trace.
class JsonScanner {
public:
    JsonScanner(VelJsonBase& trace, const char* text, std::uint32_t maxDepth)
        : c(text)
        , m_end(text + std::strlen(text))
        , m_depthLimit(maxDepth == 0 || maxDepth > VelJsonParser::kNestingGuard ? VelJsonParser::kNestingGuard
                                                                                : maxDepth)
        , m_trace(trace)
    {
    }

    bool scanValue(JsonValue& out);
    bool scanIsAtEnd();

private:
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

    const char* c;                    // the cursor
    const char* m_end;                // the terminating NUL: whole 8-byte blocks before it may be read at once
    std::uint32_t depth = 0;          // arrays and objects open at the cursor
    const std::uint32_t m_depthLimit; // maxDepth, or the guard when that is 0 or above it
    VelJsonBase& m_trace;
    // Elements and members of the containers open at the cursor, gathered here so that
    // each container is allocated once, at its exact size, when it closes.
    std::vector<JsonValue> m_elementStack;
    std::vector<JsonMember> m_memberStack;
};

} // namespace detail

using detail::JsonScanner;

std::optional<JsonValue> VelJsonParser::fragmentWithString(const char* text)
{
    clearErrorTrace();
    if (!text) {
        addErrorWithCode(JsonErrorCode::NoInput, "Input was 'nil'");
        return std::nullopt;
    }
    JsonScanner scanner(*this, text, maxDepth());
    JsonValue value;
    if (!scanner.scanValue(value))
        return std::nullopt;
    if (!scanner.scanIsAtEnd()) {
        addErrorWithCode(JsonErrorCode::GarbageAfterValue, "Garbage after JSON");
        return std::nullopt;
    }
    return value;
}

std::optional<JsonValue> VelJsonParser::objectWithString(const char* text)
{
    std::optional<JsonValue> value = fragmentWithString(text);
    if (value && !value->isContainer()) {
        addErrorWithCode(JsonErrorCode::NotAContainer, "Valid fragment, but not JSON");
        return std::nullopt;
    }
    return value;
}

bool JsonScanner::fail(JsonErrorCode code, std::string description)
{
    m_trace.addErrorWithCode(code, std::move(description));
    return false;
}

void JsonScanner::skipWhitespace()
{
    if (static_cast<unsigned char>(*c) > ' ')
        return;                                                // the common case: no whitespace at all
    if (*c == ' ' && static_cast<unsigned char>(c[1]) > ' ') { // the next: one space, as after a colon
        ++c;
        return;
    }
    while (kWhitespace[static_cast<unsigned char>(*c)]) {
        ++c;
        skipSpaceRun();
    }
}

// Indented text has a run of spaces after each line feed: the run is measured eight
// bytes at a time, the first byte that is not a space found from the lowest set bit.
void JsonScanner::skipSpaceRun()
{
    if constexpr (std::endian::native == std::endian::little) {
        while (m_end - c >= 8) {
            std::uint64_t notSpace = detail::loadBlock(c) ^ (detail::kEachByte * ' ');
            if (notSpace != 0) {
                c += std::countr_zero(notSpace) / 8;
                return;
            }
            c += 8;
        }
    }
}

void JsonScanner::skipPlainBlocks()
{
    while (m_end - c >= 8) {
        std::uint64_t special = detail::specialByteFlags(detail::loadBlock(c));
        if (special != 0) {
            // Most strings end within the block: step straight to its first special byte.
            if constexpr (std::endian::native == std::endian::little)
                c += std::countr_zero(special) / 8;
            return;
        }
        c += 8;
    }
}

bool JsonScanner::scanIsAtEnd()
{
    skipWhitespace();
    return *c == '\0';
}

bool JsonScanner::scanValue(JsonValue& out)
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
bool JsonScanner::scanRestOfTrue(JsonValue& out)
{
    if (c[0] == 'r' && c[1] == 'u' && c[2] == 'e') {
        c += 3;
        out = JsonValue(true);
        return true;
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'true'");
}

bool JsonScanner::scanRestOfFalse(JsonValue& out)
{
    if (c[0] == 'a' && c[1] == 'l' && c[2] == 's' && c[3] == 'e') {
        c += 4;
        out = JsonValue(false);
        return true;
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'false'");
}

bool JsonScanner::scanRestOfNull(JsonValue& out)
{
    if (c[0] == 'u' && c[1] == 'l' && c[2] == 'l') {
        c += 3;
        out = JsonValue(nullptr);
        return true;
    }
    return fail(JsonErrorCode::UnexpectedToken, "Expected 'null'");
}

bool JsonScanner::enterContainer()
{
    if (++depth > m_depthLimit)
        return fail(JsonErrorCode::NestedTooDeep, "Nested too deep");
    return true;
}

// After an element or member: anything but a comma starts the next one, as the comma is
// optional, but a comma right before the closing bracket is refused.
bool JsonScanner::skipSeparator(char closing, const char* trailingCommaMessage)
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

bool JsonScanner::scanRestOfArray(JsonValue& out)
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

bool JsonScanner::scanRestOfDictionary(JsonValue& out)
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
        m_memberStack.emplace_back();
        if (!scanRestOfString(m_memberStack[member].key))
            return fail(JsonErrorCode::UnexpectedToken, "Object key string expected");
        skipWhitespace();
        if (*c != ':')
            return fail(JsonErrorCode::UnexpectedToken, "Expected ':' separating key and value");
        ++c;
        if (!scanMemberValue(member))
            return failForKey(m_memberStack[member].key);
        if (!skipSeparator('}', "Trailing comma disallowed in object"))
            return false;
    }
}

bool JsonScanner::opensContainer()
{
    skipWhitespace();
    return *c == '[' || *c == '{';
}

// A scalar is scanned straight into its place on the stack. A container is scanned into
// a local first: the elements it gathers on the same stack may move the stack's storage.
bool JsonScanner::scanElement()
{
    if (!opensContainer())
        return scanValue(m_elementStack.emplace_back());
    JsonValue element;
    if (!scanValue(element))
        return false;
    m_elementStack.push_back(std::move(element));
    return true;
}

bool JsonScanner::scanMemberValue(std::size_t member)
{
    if (!opensContainer())
        return scanValue(m_memberStack[member].value);
    JsonValue value;
    if (!scanValue(value))
        return false;
    m_memberStack[member].value = std::move(value);
    return true;
}

// Scanned in place; on failure the partial text is dropped with the rest of the parse.
bool JsonScanner::scanStringValue(JsonValue& out)
{
    out = JsonValue(std::string());
    return scanRestOfString(out.asString());
}

void JsonScanner::closeArray(std::size_t first, JsonValue& out)
{
    auto begin = m_elementStack.begin() + static_cast<std::ptrdiff_t>(first);
    JsonArray array(std::make_move_iterator(begin), std::make_move_iterator(m_elementStack.end()));
    m_elementStack.erase(begin, m_elementStack.end());
    out = JsonValue(std::move(array));
}

void JsonScanner::closeObject(std::size_t first, JsonValue& out)
{
    auto begin = m_memberStack.begin() + static_cast<std::ptrdiff_t>(first);
    std::vector<JsonMember> members(std::make_move_iterator(begin), std::make_move_iterator(m_memberStack.end()));
    m_memberStack.erase(begin, m_memberStack.end());
    out = JsonValue(JsonObject(std::move(members)));
}

bool JsonScanner::failForKey(const std::string& key)
{
    return fail(JsonErrorCode::UnexpectedToken, "Object value expected for key: " + key);
}

bool JsonScanner::scanRestOfString(std::string& out)
{
    for (;;) {
        // The plain run up to the next byte of the stop set (or NUL), checked as UTF-8.
        const char* run = c;
        for (;;) {
            skipPlainBlocks();
            auto byte = static_cast<unsigned char>(*c);
            if (kPlainStringByte[byte]) {
                ++c;
                continue;
            }
            if (byte < 0x80)
                break;
            int length = detail::utf8Sequence(reinterpret_cast<const unsigned char*>(c), SIZE_MAX);
            if (length > 0) {
                c += length;
                continue;
            }
            out.append(run, static_cast<std::size_t>(c - run));
            out.append(detail::kReplacementCharacter);
            c += -length;
            run = c;
        }
        out.append(run, static_cast<std::size_t>(c - run));

        auto byte = static_cast<unsigned char>(*c);
        if (byte == '"') {
            ++c;
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

bool JsonScanner::scanHexQuad(std::uint16_t& out)
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

bool JsonScanner::scanUnicodeChar(std::uint32_t& out)
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

bool JsonScanner::scanNumber(JsonValue& out)
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
        while (isDigit(*c))
            ++c;
    }
    if (*c == '.') {
        ++c;
        if (!isDigit(*c))
            return fail(JsonErrorCode::MalformedNumber, "No digits after decimal point");
        while (isDigit(*c))
            ++c;
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
        while (isDigit(*c))
            ++c;
        canonical = false;
        hugeExponent = c - exponentStart >= 9;
    }
    std::string_view text(start, static_cast<std::size_t>(c - start));
    if ((hugeExponent || text.size() >= detail::kShortText) && !detail::exponentInRange(text))
        return fail(JsonErrorCode::MalformedNumber, "Failed creating decimal instance");
    out = JsonValue(JsonNumber(JsonNumber::Validated{}, text, canonical, m_end));
    return true;
}

} // namespace waterline

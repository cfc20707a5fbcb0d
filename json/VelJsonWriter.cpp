// The JSON text writer.
#include <waterline/json/VelJsonWriter.h>

#include "PlainAscii.h"
#include "TextBuffer.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace waterline {

namespace {

enum ByteClass : std::uint8_t { Plain, Escape, NonAscii };

// Built at compile time, so threads writing at once share it safely.
constexpr std::array<ByteClass, 256> kByteClass = [] {
    std::array<ByteClass, 256> table{};
    for (int ch = 0; ch < 256; ++ch)
        table[static_cast<std::size_t>(ch)] = ch < 0x20 || ch == '"' || ch == '\\' ? Escape
            : ch >= 0x80                                                           ? NonAscii
                                                                                   : Plain;
    return table;
}();

void appendEscape(detail::TextBuffer& into, unsigned char ch)
{
    switch (ch) {
    case '"':
        into.put("\\\"");
        return;
    case '\\':
        into.put("\\\\");
        return;
    case '\t':
        into.put("\\t");
        return;
    case '\n':
        into.put("\\n");
        return;
    case '\r':
        into.put("\\r");
        return;
    case '\b':
        into.put("\\b");
        return;
    case '\f':
        into.put("\\f");
        return;
    default: {
        static constexpr char kHex[] = "0123456789abcdef";
        const char unit[] = {'\\', 'u', '0', '0', kHex[ch >> 4], kHex[ch & 15]};
        into.put(std::string_view(unit, sizeof unit));
    }
    }
}

// The index of the first byte of `bytes` from `i` that is not plain ASCII (one to escape
// or one of a multi-byte character), or `size` when there is none. Whole blocks are
// checked eight bytes at a time; the lowest flag of a block is exact.
[[gnu::always_inline]] inline std::size_t firstSpecialByte(const unsigned char* bytes, std::size_t i, std::size_t size)
{
    constexpr std::size_t kBlock = sizeof(std::uint64_t);
    constexpr std::uint64_t kPlain = detail::kEachByte * 'a';
    for (; size - i >= kBlock; i += kBlock)
        if (std::uint64_t flags = detail::specialByteFlags(detail::loadBlock(bytes + i)))
            return i + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
    if (size >= kBlock && i < size) {
        // The tail in one block ending at the last byte. The bytes before `i` in it were
        // dealt with already (an escaped byte among them would lend a borrow and flag its
        // neighbour), so they are read as plain ones.
        const std::size_t start = size - kBlock;
        const std::uint64_t seen = (std::uint64_t{1} << (8 * (i - start))) - 1;
        const std::uint64_t block = (detail::loadBlock(bytes + start) & ~seen) | (kPlain & seen);
        const std::uint64_t flags = detail::specialByteFlags(block) >> (8 * (i - start));
        return flags ? i + static_cast<std::size_t>(std::countr_zero(flags)) / 8 : size;
    }
    while (i < size && kByteClass[bytes[i]] == Plain)
        ++i;
    return i;
}

constexpr std::size_t kBrokenUtf8 = SIZE_MAX;

// The index after the run of multi-byte characters starting at `i`, or kBrokenUtf8 when
// one of them is not well-formed. Two- and three-byte characters whose second byte may
// take any continuation value (all but leads E0 and ED: most of the BMP, CJK included)
// are checked with a mask over four bytes at once; the rest go the long way.
std::size_t skipNonAscii(const unsigned char* bytes, std::size_t i, std::size_t size)
{
    while (i < size && bytes[i] >= 0x80) {
        if (size - i >= 4) {
            std::uint32_t word;
            std::memcpy(&word, bytes + i, sizeof word);
            if constexpr (std::endian::native == std::endian::little) {
                const std::uint32_t lead = word & 0xFF;
                if ((word & 0xC0C0F0) == 0x8080E0 && lead != 0xE0 && lead != 0xED) {
                    i += 3;
                    continue;
                }
                if ((word & 0xC0E0) == 0x80C0 && lead >= 0xC2) {
                    i += 2;
                    continue;
                }
            }
        }
        int length = detail::utf8Sequence(bytes + i, size - i);
        if (length < 0)
            return kBrokenUtf8;
        i += static_cast<std::size_t>(length);
    }
    return i;
}

// Order of the UTF-16 code units of two UTF-8 keys. Byte order gives code point order,
// which differs from code-unit order only between U+E000..U+FFFF (lead bytes EE, EF)
// and the characters beyond U+FFFF (lead bytes F0..F4, surrogate pairs in UTF-16).
bool precedesInUtf16(std::string_view a, std::string_view b)
{
    auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (mismatch.second == b.end())
        return false;
    if (mismatch.first == a.end())
        return true;
    auto x = static_cast<unsigned char>(*mismatch.first), y = static_cast<unsigned char>(*mismatch.second);
    bool xHigh = x == 0xEE || x == 0xEF, yHigh = y == 0xEE || y == 0xEF;
    if (xHigh && y >= 0xF0)
        return false;
    if (yHigh && x >= 0xF0)
        return true;
    return x < y;
}

// One write: the nesting depth, the options as they stood when the call began, and the
// steps that append to the text. It lives on the stack of the call that makes it.
class JsonEmitter {
public:
    struct Layout {
        bool humanReadable;
        bool sortKeys;
    };

    JsonEmitter(VelJsonBase& trace, Layout layout)
        : m_humanReadable(layout.humanReadable)
        , m_sortKeys(layout.sortKeys)
        , m_trace(trace)
    {
    }

    bool appendValue(const JsonValue& value, detail::TextBuffer& into);

private:
    void appendNumber(const JsonNumber& number, detail::TextBuffer& into);
    bool appendArray(const JsonArray& array, detail::TextBuffer& into);
    bool appendDictionary(const JsonObject& object, detail::TextBuffer& into);
    // False, adding nothing to the trace, when the text is not well-formed UTF-8.
    bool appendString(std::string_view text, detail::TextBuffer& into);
    // A line feed and two spaces per open container.
    void appendIndent(detail::TextBuffer& into) const;

    std::uint32_t depth = 0; // arrays and objects open at the write position
    const bool m_humanReadable;
    const bool m_sortKeys;
    VelJsonBase& m_trace;
};

} // namespace

std::optional<std::string> VelJsonWriter::stringWithObject(const JsonValue& value)
{
    if (value.isContainer())
        return stringWithFragment(value);
    clearErrorTrace();
    addErrorWithCode(JsonErrorCode::NotAContainer, "Not valid type for JSON");
    return std::nullopt;
}

std::optional<std::string> VelJsonWriter::stringWithFragment(const JsonValue& value)
{
    clearErrorTrace();
    JsonEmitter emitter(*this, {.humanReadable = humanReadable(), .sortKeys = sortKeys()});
    detail::TextBuffer text(128);
    if (!emitter.appendValue(value, text))
        return std::nullopt; // the partial text is dropped
    return text.take();
}

void JsonEmitter::appendIndent(detail::TextBuffer& into) const
{
    into.put('\n');
    into.putRepeated(' ', std::size_t{2} * depth);
}

bool JsonEmitter::appendValue(const JsonValue& value, detail::TextBuffer& into)
{
    switch (value.kind()) {
    case JsonKind::Object:
        return appendDictionary(value.asObject(), into);
    case JsonKind::Array:
        return appendArray(value.asArray(), into);
    case JsonKind::String:
        if (appendString(value.asString(), into))
            return true;
        m_trace.addErrorWithCode(JsonErrorCode::UnsupportedValue,
                                 "JSON serialisation not supported for string that is not valid UTF-8");
        return false;
    case JsonKind::Boolean:
        into.put(value.asBool() ? "true" : "false");
        return true;
    case JsonKind::Number:
        appendNumber(value.asNumber(), into);
        return true;
    case JsonKind::Null:
        into.put("null");
        return true;
    }
    return false;
}

void JsonEmitter::appendNumber(const JsonNumber& number, detail::TextBuffer& into)
{
    if (number.isCanonical())
        return into.put(number.text());
    into.put(number.toString());
}

bool JsonEmitter::appendArray(const JsonArray& array, detail::TextBuffer& into)
{
    const bool indented = m_humanReadable;
    into.put('[');
    ++depth;
    bool first = true;
    for (const JsonValue& element : array) {
        if (!first)
            into.put(',');
        first = false;
        if (indented)
            appendIndent(into);
        if (!appendValue(element, into))
            return false;
    }
    --depth;
    if (indented && !array.empty())
        appendIndent(into);
    into.put(']');
    return true;
}

bool JsonEmitter::appendDictionary(const JsonObject& object, detail::TextBuffer& into)
{
    const bool indented = m_humanReadable;
    const std::string_view separator = indented ? " : " : ":";
    into.put('{');
    ++depth;

    std::vector<const JsonMember*> order;
    if (m_sortKeys) {
        order.reserve(object.size());
        for (const JsonMember& member : object)
            order.push_back(&member);
        std::sort(order.begin(), order.end(),
                  [](const JsonMember* a, const JsonMember* b) { return precedesInUtf16(a->key, b->key); });
    }
    auto appendMember = [&](const JsonMember& member, bool first) {
        if (!first)
            into.put(',');
        if (indented)
            appendIndent(into);
        // A plain key goes out with its separator in one piece.
        const std::string_view key = member.key;
        const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
        if (firstSpecialByte(keyBytes, 0, key.size()) == key.size()) {
            into.putQuoted(key, separator);
        } else if (appendString(key, into)) {
            into.put(separator);
        } else {
            m_trace.addErrorWithCode(JsonErrorCode::UnsupportedValue, "JSON object key must be string");
            return false;
        }
        if (appendValue(member.value, into))
            return true;
        m_trace.addErrorWithCode(JsonErrorCode::UnsupportedValue,
                                 "Unsupported value for key " + member.key.str() + " in object");
        return false;
    };
    bool first = true;
    if (m_sortKeys) {
        for (const JsonMember* member : order) {
            if (!appendMember(*member, first))
                return false;
            first = false;
        }
    } else {
        for (const JsonMember& member : object) {
            if (!appendMember(member, first))
                return false;
            first = false;
        }
    }
    --depth;
    if (indented && !object.empty())
        appendIndent(into);
    into.put('}');
    return true;
}

bool JsonEmitter::appendString(std::string_view text, detail::TextBuffer& into)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    // Most strings (keys above all) are plain ASCII throughout and go out in one piece.
    std::size_t i = firstSpecialByte(bytes, 0, size);
    if (i == size) {
        into.putQuoted(text);
        return true;
    }
    into.put('"');
    std::size_t run = 0;
    while (i < size) {
        if (bytes[i] >= 0x80) {
            i = skipNonAscii(bytes, i, size);
            if (i == kBrokenUtf8)
                return false; // the caller says whether a value or a key
        } else {
            into.put(text.substr(run, i - run));
            appendEscape(into, bytes[i]);
            run = ++i;
        }
        i = firstSpecialByte(bytes, i, size);
    }
    into.put(text.substr(run));
    into.put('"');
    return true;
}

} // namespace waterline

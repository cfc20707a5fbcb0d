// The JSON text writer.
#include "waterline/json/VelJsonWriter.h"

#include "PlainAscii.h"
#include "TextBuffer.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <vector>

namespace waterline {

namespace {

enum ByteClass : std::uint8_t { Plain, Escape, NonAscii };

// Built at compile time, so threads writing at once share it safely.
constexpr std::array<ByteClass, 256> kByteClass = [] {
    std::array<ByteClass, 256> table{};
    for (int ch = 0; ch < 256; ++ch)
        table[static_cast<std::size_t>(ch)] = ch < 0x20 || ch == '"' || ch == '\\' ? Escape
                                              : ch >= 0x80                     ? NonAscii
                                                                               : Plain;
    return table;
}();

void appendEscape(detail::TextBuffer& into, unsigned char ch) {
    switch (ch) {
    case '"': into.put("\\\""); return;
    case '\\': into.put("\\\\"); return;
    case '\t': into.put("\\t"); return;
    case '\n': into.put("\\n"); return;
    case '\r': into.put("\\r"); return;
    case '\b': into.put("\\b"); return;
    case '\f': into.put("\\f"); return;
    default: {
        static constexpr char kHex[] = "0123456789abcdef";
        const char unit[] = {'\\', 'u', '0', '0', kHex[ch >> 4], kHex[ch & 15]};
        into.put(std::string_view(unit, sizeof unit));
    }
    }
}

// Order of the UTF-16 code units of two UTF-8 keys. Byte order gives code point order,
// which differs from code-unit order only between U+E000..U+FFFF (lead bytes EE, EF)
// and the characters beyond U+FFFF (lead bytes F0..F4, surrogate pairs in UTF-16).
bool precedesInUtf16(const std::string& a, const std::string& b) {
    auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (mismatch.second == b.end()) return false;
    if (mismatch.first == a.end()) return true;
    auto x = static_cast<unsigned char>(*mismatch.first), y = static_cast<unsigned char>(*mismatch.second);
    bool xHigh = x == 0xEE || x == 0xEF, yHigh = y == 0xEE || y == 0xEF;
    if (xHigh && y >= 0xF0) return false;
    if (yHigh && x >= 0xF0) return true;
    return x < y;
}

}  // namespace

std::optional<std::string> VelJsonWriter::stringWithObject(const JsonValue& value) {
    if (value.isContainer()) return stringWithFragment(value);
    clearErrorTrace();
    addErrorWithCode(JsonErrorCode::NotAContainer, "Not valid type for JSON");
    return std::nullopt;
}

std::optional<std::string> VelJsonWriter::stringWithFragment(const JsonValue& value) {
    clearErrorTrace();
    depth = 0;
    detail::TextBuffer text(128);
    if (!appendValue(value, text)) return std::nullopt;   // the partial text is dropped
    return text.take();
}

void VelJsonWriter::appendIndent(detail::TextBuffer& into) const {
    into.put('\n');
    into.putRepeated(' ', std::size_t{2} * depth);
}

bool VelJsonWriter::appendValue(const JsonValue& value, detail::TextBuffer& into) {
    switch (value.kind()) {
    case JsonKind::Object: return appendDictionary(value.asObject(), into);
    case JsonKind::Array: return appendArray(value.asArray(), into);
    case JsonKind::String:
        if (appendString(value.asString(), into)) return true;
        addErrorWithCode(JsonErrorCode::UnsupportedValue,
                         "JSON serialisation not supported for string that is not valid UTF-8");
        return false;
    case JsonKind::Boolean: into.put(value.asBool() ? "true" : "false"); return true;
    case JsonKind::Number: appendNumber(value.asNumber(), into); return true;
    case JsonKind::Null: into.put("null"); return true;
    }
    return false;
}

void VelJsonWriter::appendNumber(const JsonNumber& number, detail::TextBuffer& into) {
    if (number.isCanonical()) return into.put(number.text());
    into.put(number.toString());
}

bool VelJsonWriter::appendArray(const JsonArray& array, detail::TextBuffer& into) {
    const bool indented = humanReadable();
    into.put('[');
    ++depth;
    bool first = true;
    for (const JsonValue& element : array) {
        if (!first) into.put(',');
        first = false;
        if (indented) appendIndent(into);
        if (!appendValue(element, into)) return false;
    }
    --depth;
    if (indented && !array.empty()) appendIndent(into);
    into.put(']');
    return true;
}

bool VelJsonWriter::appendDictionary(const JsonObject& object, detail::TextBuffer& into) {
    const bool indented = humanReadable();
    const std::string_view separator = indented ? " : " : ":";
    into.put('{');
    ++depth;

    std::vector<const JsonMember*> order;
    if (sortKeys()) {
        order.reserve(object.size());
        for (const JsonMember& member : object) order.push_back(&member);
        std::sort(order.begin(), order.end(),
                  [](const JsonMember* a, const JsonMember* b) { return precedesInUtf16(a->key, b->key); });
    }
    auto appendMember = [&](const JsonMember& member, bool first) {
        if (!first) into.put(',');
        if (indented) appendIndent(into);
        if (!appendString(member.key, into)) {
            addErrorWithCode(JsonErrorCode::UnsupportedValue, "JSON object key must be string");
            return false;
        }
        into.put(separator);
        if (appendValue(member.value, into)) return true;
        addErrorWithCode(JsonErrorCode::UnsupportedValue, "Unsupported value for key " + member.key + " in object");
        return false;
    };
    bool first = true;
    if (sortKeys()) {
        for (const JsonMember* member : order) {
            if (!appendMember(*member, first)) return false;
            first = false;
        }
    } else {
        for (const JsonMember& member : object) {
            if (!appendMember(member, first)) return false;
            first = false;
        }
    }
    --depth;
    if (indented && !object.empty()) appendIndent(into);
    into.put('}');
    return true;
}

bool VelJsonWriter::appendString(std::string_view text, detail::TextBuffer& into) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    // Most strings (keys above all) are plain ASCII throughout and go out in one piece.
    std::size_t i = detail::skipPlainAscii(bytes, 0, size);
    while (i < size && kByteClass[bytes[i]] == Plain) ++i;
    if (i == size) {
        into.putQuoted(text);
        return true;
    }
    into.put('"');
    std::size_t run = 0;
    while (i < size) {
        ByteClass byteClass = kByteClass[bytes[i]];
        if (byteClass == Plain) {
            ++i;
            i = detail::skipPlainAscii(bytes, i, size);
        } else if (byteClass == NonAscii) {
            int length = detail::utf8Sequence(bytes + i, size - i);
            if (length < 0) return false;   // the caller says whether a value or a key
            i += static_cast<std::size_t>(length);
        } else {
            into.put(text.substr(run, i - run));
            appendEscape(into, bytes[i]);
            run = ++i;
        }
    }
    into.put(text.substr(run));
    into.put('"');
    return true;
}

}  // namespace waterline

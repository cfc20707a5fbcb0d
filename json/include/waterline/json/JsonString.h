// The text of a JSON string value or object key: UTF-8, read as a std::string_view.
//
//   JsonString name = "tide";
//   std::string_view text = name;      // or name.view()
//   if (name == "tide") ...
//
// Sixteen bytes: up to 14 bytes of text are kept inline, longer text on the heap or, in
// a parsed document, in the document's arena. Copies and moves out of a document own
// their text (see CompactText.h). The text is replaced as a whole, never edited in place.
#pragma once

#include <waterline/json/CompactText.h>

#include <compare>
#include <iosfwd>
#include <string>
#include <string_view>

namespace waterline {

namespace detail {
template <typename Blocks> class JsonScanner;
}

class JsonString {
public:
    JsonString() noexcept = default;
    JsonString(const char* text)
        : m_text(std::string_view(text))
    {
    }
    JsonString(std::string_view text)
        : m_text(text)
    {
    }
    JsonString(const std::string& text)
        : m_text(std::string_view(text))
    {
    }

    std::string_view view() const noexcept { return m_text.view(); }
    operator std::string_view() const noexcept { return m_text.view(); }
    std::string str() const { return std::string(m_text.view()); }
    const char* data() const noexcept { return view().data(); }
    std::size_t size() const noexcept { return view().size(); }
    bool empty() const noexcept { return view().empty(); }

    friend bool operator==(const JsonString& a, const JsonString& b) noexcept { return a.m_text.sameText(b.m_text); }
    friend bool operator==(const JsonString& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const JsonString& a, const char* b) noexcept { return a.view() == b; }
    friend bool operator==(const JsonString& a, const std::string& b) noexcept { return a.view() == b; }
    friend std::strong_ordering operator<=>(const JsonString& a, const JsonString& b) noexcept
    {
        return a.view() <=> b.view();
    }

private:
    template <typename Blocks> friend class detail::JsonScanner;
    friend class JsonValue;
    friend class JsonObject;

    detail::CompactText m_text;
};

std::ostream& operator<<(std::ostream&, const JsonString&);

} // namespace waterline

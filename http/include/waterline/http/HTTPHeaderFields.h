// Header fields by name, where names compare without regard to case ("content-length"
// finds "Content-Length"). Setting a name that exists replaces its value and keeps the
// spelling first given. Iteration runs in the order of the names' first insertion, so
// what goes on the wire is predictable.
//
//     HTTPHeaderFields headers;
//     headers.set("Accept-Encoding", "gzip");
//     if (auto length = headers.get("content-length")) ...
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace waterline {

class HTTPHeaderFields {
public:
    using Field = std::pair<std::string, std::string>;

    void set(std::string_view name, std::string_view value);
    // Adds to an existing value with ", " between (how a repeated response field is
    // folded into one), or sets it when the name is new.
    void append(std::string_view name, std::string_view value);
    void remove(std::string_view name);
    std::optional<std::string> get(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name) != m_fields.end(); }

    bool empty() const { return m_fields.empty(); }
    std::size_t size() const { return m_fields.size(); }
    auto begin() const { return m_fields.begin(); }
    auto end() const { return m_fields.end(); }

    bool operator==(const HTTPHeaderFields&) const = default;

    static bool namesEqual(std::string_view a, std::string_view b);
    // Whether a name or value can go on the wire as one line: no CR, LF or NUL (and, for
    // a name, not empty).
    static bool isSafeName(std::string_view name);
    static bool isSafeValue(std::string_view value);
    // The first field that is not safe to send, if any.
    std::optional<Field> firstUnsafeField() const;

private:
    std::vector<Field>::const_iterator find(std::string_view name) const;
    std::vector<Field>::iterator find(std::string_view name);

    std::vector<Field> m_fields;
};

} // namespace waterline

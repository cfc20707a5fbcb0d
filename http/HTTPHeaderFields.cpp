// Header fields with case-blind names; a handful of fields per message, so a vector
// searched from the front beats any map.
#include <waterline/http/HTTPHeaderFields.h>

#include <algorithm>
#include <cctype>

namespace waterline {

bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<HTTPHeaderFields::Field>::const_iterator HTTPHeaderFields::find(std::string_view name) const
{
    return std::find_if(m_fields.begin(), m_fields.end(),
                        [&](const Field& field) { return namesEqual(field.first, name); });
}

std::vector<HTTPHeaderFields::Field>::iterator HTTPHeaderFields::find(std::string_view name)
{
    return std::find_if(m_fields.begin(), m_fields.end(),
                        [&](const Field& field) { return namesEqual(field.first, name); });
}

bool HTTPHeaderFields::isSafeValue(std::string_view value)
{
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool HTTPHeaderFields::isSafeName(std::string_view name)
{
    return !name.empty() && isSafeValue(name) && name.find(':') == std::string_view::npos;
}

std::optional<HTTPHeaderFields::Field> HTTPHeaderFields::firstUnsafeField() const
{
    for (const auto& field : m_fields)
        if (!isSafeName(field.first) || !isSafeValue(field.second))
            return field;
    return std::nullopt;
}

void HTTPHeaderFields::set(std::string_view name, std::string_view value)
{
    if (auto it = find(name); it != m_fields.end())
        it->second = value;
    else
        m_fields.emplace_back(name, value);
}

void HTTPHeaderFields::append(std::string_view name, std::string_view value)
{
    if (auto it = find(name); it != m_fields.end()) {
        it->second += ", ";
        it->second += value;
    } else {
        m_fields.emplace_back(name, value);
    }
}

void HTTPHeaderFields::remove(std::string_view name)
{
    if (auto it = find(name); it != m_fields.end())
        m_fields.erase(it);
}

std::optional<std::string> HTTPHeaderFields::get(std::string_view name) const
{
    if (auto it = find(name); it != m_fields.end())
        return it->second;
    return std::nullopt;
}

} // namespace waterline

// Optional whitespace of HTTP header and cookie text: spaces and tabs only, never line
// ends (a field's CR LF is its end, not padding).
#pragma once

#include <string_view>

namespace waterline {

inline std::string_view trimmedBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace waterline

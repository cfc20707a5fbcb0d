// Case changes of ASCII letters only, as protocol text wants them: names of schemes,
// hosts, attributes and variables. Other bytes, UTF-8 included, stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace waterline {

inline std::string asciiLowercased(std::string_view text)
{
    std::string result(text);
    for (auto& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

inline std::string asciiUppercased(std::string_view text)
{
    std::string result(text);
    for (auto& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

} // namespace waterline

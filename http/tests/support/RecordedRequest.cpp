#include <waterline/testing/RecordedRequest.h>

#include <algorithm>
#include <cctype>

namespace waterline::testing {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const
{
    for (const auto& [field, value] : headers) {
        if (sameName(field, name))
            return value;
    }
    return std::nullopt;
}

std::vector<std::string> RecordedRequest::headerValues(std::string_view name) const
{
    std::vector<std::string> values;
    for (const auto& [field, value] : headers) {
        if (sameName(field, name))
            values.push_back(value);
    }
    return values;
}

} // namespace waterline::testing

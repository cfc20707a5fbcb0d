// Renders an error trace as "CODE: MESSAGE" lines, oldest first, for exact comparison.
#pragma once

#include <waterline/json/VelJsonBase.h>

#include <string>
#include <vector>

namespace waterline::test {

inline std::vector<std::string> traceText(const VelJsonBase& object)
{
    std::vector<std::string> lines;
    if (auto trace = object.errorTrace())
        for (const auto& error : *trace)
            lines.push_back(std::to_string(error->code()) + ": " + error->description());
    return lines;
}

} // namespace waterline::test

// Feeds arbitrary bytes to the response header parser, split at a point taken from
// the first byte, so that both whole and piecewise arrival are exercised.
#include <waterline/http/ResponseHeaderParser.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t split = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
    waterline::ResponseHeaderParser parser;
    parser.feed(bytes.substr(0, split));
    parser.feed(bytes.substr(split));
    if (parser.state() == waterline::ResponseHeaderParser::State::Complete) {
        const auto& block = parser.block();
        if (block.statusCode < 200 || block.statusCode > 999 || block.statusLine.empty())
            __builtin_trap();
        for (const auto& [name, value] : block.fields)
            if (!block.fields.get(name))
                __builtin_trap();
    }
    return 0;
}

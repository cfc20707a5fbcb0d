// Feeds arbitrary bytes to ScriptedServer's request reader.
//
// Beyond "no crash, no hang, no read past the end" it checks what the server relies on
// when it reads a request in pieces: a request taken from a buffer is taken whole — one
// byte less of it reads as incomplete, never as another request or as malformed — and
// never takes more bytes than the buffer holds.
#include "../RequestParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace waterline::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (auto reading : {BodyReading::Whole, BodyReading::HeadOnly}) {
        auto parse = parseRequest(bytes, reading, {.maxHeadBytes = 4096, .maxBodyBytes = 65536});
        auto* parsed = std::get_if<ParsedRequest>(&parse);
        if (!parsed)
            continue;
        if (parsed->consumed > size || parsed->consumed < parsed->request.head.size())
            std::abort();
        auto shorter = parseRequest(bytes.substr(0, parsed->consumed - 1), reading,
                                    {.maxHeadBytes = 4096, .maxBodyBytes = 65536});
        if (!std::holds_alternative<IncompleteRequest>(shorter))
            std::abort();
    }
    return 0;
}

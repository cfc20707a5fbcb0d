// Feeds arbitrary bytes to the parser, and writes back and re-reads whatever it accepts.
//
// Beyond "no crash, no hang, no read past the end", it checks the round trip: a value
// that was read must be written (compact and human-readable, sorted or not), and the
// written text must read back as an equal value.
#include <waterline/json/VelJSON.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace waterline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The parser reads NUL-terminated text; the copy ends exactly at the terminator.
    std::string text(reinterpret_cast<const char*>(data), size);
    VelJSON json;
    json.setMaxDepth(0); // the parser's own guard must hold
    std::optional<JsonValue> value = json.fragmentWithString(text);
    if (!value) {
        if (!json.errorTrace() || json.errorTrace()->empty())
            std::abort(); // failure without a reason
        return 0;
    }
    for (bool humanReadable : {false, true}) {
        json.setHumanReadable(humanReadable);
        json.setSortKeys(humanReadable);
        std::optional<std::string> written = json.stringWithFragment(*value);
        if (!written)
            std::abort(); // the parser only makes writable values
        std::optional<JsonValue> again = json.fragmentWithString(*written);
        if (!again || !(*again == *value))
            std::abort();
    }
    return 0;
}

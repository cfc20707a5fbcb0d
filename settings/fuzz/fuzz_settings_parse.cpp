// Feeds arbitrary bytes to the settings file reader and checks the round trip: whatever
// it reads must be written, and the written file must read back as the same values.
#include <waterline/settings/UserDefaults.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace waterline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto values = UserDefaults::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!values)
        return 0;
    // The parser hands back only valid UTF-8, so the writer must accept all of it.
    auto written = UserDefaults::serialize(*values);
    if (!written)
        std::abort();
    if (UserDefaults::parse(*written) != values)
        std::abort();
    return 0;
}
